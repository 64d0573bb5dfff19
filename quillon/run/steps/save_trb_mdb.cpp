// `SaveTrb_mdb`: a bank's workbook with the drive database of the bank's firmware, or its CSV
// set when no such database is found.
#include "quillon/database/trace_workbook.h"
#include "quillon/output/trb_csv_set.h"
#include "quillon/run/run_context.h"

namespace quillon {

void SaveTrb_mdb(RunContext& run, std::uint8_t bank) {
  const TraceBank view{bank, run.identity, run.traceBack, run.SafePanelName};
  const auto driveDb = LocateDriveDb(run.folders.search(), run.identity.DriveType, run.traceBack.bankSoftVersion(bank));
  if (!driveDb) {
    run.reportFailure(WriteTrbCsvSet(run.folders.workingFolder(), view, run.codePage()));
    return;
  }
  const TraceWorkbookFiles files{*driveDb, run.folders.templateFolder / kTraceTemplateName,
                                 run.folders.workingFolder()};
  WriteTraceWorkbook(view, run.switches.lastFaultOnly, files, run.databases, run.x());
}

}  // namespace quillon
