// `SaveTrb_mdb`: a bank's workbook with the drive database of the bank's firmware, or its CSV
// set when no such database is found; written from a copy of the bank, on the thread of the
// bank file writer. A workbook that cannot be written (a damaged drive database, a missing
// template, a name too long for the file system, a full disk) never costs the bank: it is
// saved as its CSV set instead, the user is told why, and the run goes on.
#include <exception>

#include "quillon/convert/save_folder_files.h"
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
  job.codePage = run.codePage();
  return job;
}

namespace {

// The workbook's own failure, empty when it was written (or there is no drive database).
std::string writeWorkbook(const BankFileJob& job, const TraceBank& view, bool& haveDriveDb) {
  const auto driveDb = LocateDriveDb(job.search, TrimBlanks(job.identity.DriveType),
                                     TrimBlanks(job.tables.bankSoftVersion(job.bank)));
  haveDriveDb = driveDb.has_value();
  if (!driveDb) return {};
  try {
    // Connections of the bank's own: the run's are not touched from here.
    DatabaseState databases;
    databases.driveDbOptions = job.driveDbOptions;
    ExchangeState outcome;
    if (WriteTraceWorkbook(view, job.bankNumberInName, {*driveDb, job.templateFile, job.workingFolder}, databases,
                           outcome))
      return {};
    return outcome.ErrorText.empty() ? "The workbook of bank " + std::to_string(job.bank) + " was not written."
                                     : outcome.ErrorText;
  } catch (const std::exception& error) {
    return "The workbook of bank " + std::to_string(job.bank) + " was not written: " + error.what();
  }
}

}  // namespace

BankFilesOutcome SaveTrb_mdb(const BankFileJob& job) {
  const TraceBank view{job.bank, job.identity, job.tables, job.SafePanelName};
  bool haveDriveDb = false;
  BankFilesOutcome outcome;
  const std::string workbookFailure = writeWorkbook(job, view, haveDriveDb);
  if (haveDriveDb && workbookFailure.empty()) return outcome;
  try {
    outcome.failure = WriteTrbCsvSet(job.workingFolder, view, job.codePage);
  } catch (const std::exception& error) {
    outcome.failure = "The files of bank " + std::to_string(job.bank) + " were not written: " + error.what();
  }
  if (workbookFailure.empty()) return outcome;
  // One story: the bank is either in its CSV set, or the run ends saying neither was written.
  if (outcome.failure.empty())
    outcome.notice = workbookFailure + "\r\nThe bank is saved as its CSV set " +
                     (job.workingFolder / TrbFolderName(job.SafePanelName, job.tables.bankTime(job.bank))).string();
  else
    outcome.failure = workbookFailure + "\r\nIts CSV set was not written either: " + outcome.failure;
  return outcome;
}

}  // namespace quillon
