// `SaveTrb_mdb`: a bank's workbook with the drive database of the bank's firmware, or its CSV
// set when no such database is found. A workbook that cannot be written (a damaged drive
// database, a missing template, a name too long for the file system, a full disk) never costs
// the bank: it is saved as its CSV set instead, the user is told why, and the run goes on.
#include "quillon/convert/save_folder_files.h"
#include "quillon/database/trace_workbook.h"
#include "quillon/output/trb_csv_set.h"
#include "quillon/run/run_context.h"

namespace quillon {

void SaveTrb_mdb(RunContext& run, std::uint8_t bank) {
  const TraceBank view{bank, run.identity, run.traceBack, run.SafePanelName};
  const std::filesystem::path working = run.folders.workingFolder();
  const auto driveDb = LocateDriveDb(run.folders.search(), TrimBlanks(run.identity.DriveType),
                                     TrimBlanks(run.traceBack.bankSoftVersion(bank)));
  if (driveDb) {
    const TraceWorkbookFiles files{*driveDb, run.folders.templateFolder / kTraceTemplateName, working};
    ExchangeState workbook;  // the workbook's own failure; the run's state stays as it was
    if (WriteTraceWorkbook(view, run.switches.lastFaultOnly, files, run.databases, workbook)) return;
    run.notice(workbook.ErrorText + "\r\nThe bank is saved as its CSV set " +
               (working / TrbFolderName(run.SafePanelName, run.traceBack.bankTime(bank))).string());
  }
  run.reportFailure(WriteTrbCsvSet(working, view, run.codePage()));
}

}  // namespace quillon
