// `SaveTrb_mdb`: a bank's workbook with the drive database of the bank's firmware, or its CSV
// set when no such database is found; written from a copy of the bank, on the thread of the
// bank file writer.
#include <exception>

#include "quillon/database/trace_workbook.h"
#include "quillon/output/trb_csv_set.h"
#include "quillon/run/bank_file_writer.h"
#include "quillon/run/run_context.h"

namespace quillon {

BankFileJob BankFileJob::Of(const RunContext& run, std::uint8_t bank) {
  BankFileJob job;
  job.bank = bank;
  job.identity = run.identity;
  job.tables = run.traceBack;
  job.SafePanelName = run.SafePanelName;
  job.search = run.folders.search();
  job.templateFile = run.folders.templateFolder / kTraceTemplateName;
  job.workingFolder = run.folders.workingFolder();
  job.bankNumberInName = run.switches.lastFaultOnly;
  job.driveDbOptions = run.databases.driveDbOptions;
  return job;
}

std::string SaveTrb_mdb(const BankFileJob& job) {
  try {
    const TraceBank view{job.bank, job.identity, job.tables, job.SafePanelName};
    const auto driveDb = LocateDriveDb(job.search, job.identity.DriveType, job.tables.bankSoftVersion(job.bank));
    if (!driveDb) return WriteTrbCsvSet(job.workingFolder, view);
    // Connections of the bank's own: the run's are not touched from here.
    DatabaseState databases;
    databases.driveDbOptions = job.driveDbOptions;
    ExchangeState outcome;
    WriteTraceWorkbook(view, job.bankNumberInName, {*driveDb, job.templateFile, job.workingFolder}, databases, outcome);
    return outcome.ErrorText;
  } catch (const std::exception& error) {
    return "The files of bank " + std::to_string(job.bank) + " were not written: " + error.what();
  }
}

}  // namespace quillon
