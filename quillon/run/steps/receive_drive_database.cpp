// "DB Load": the drive's own database archive, extracted into the program folder, where it is
// found before an installed one. An archive that cannot be taken is told at once and named
// again at the end; the run goes on.
#include "quillon/requests/drive_database_download.h"
#include "quillon/run/archiver.h"
#include "quillon/run/save_sequence.h"

namespace quillon {

StepState ReceiveDriveDatabase(RunContext& run) {
  const DriveDatabaseDisplay display{
      [&run](int block, int lastBlock) { run.events.emit(DatabaseBlockReceived{block, lastBlock}); },
      [&run](const std::string& message) { run.notice(message); }};
  const auto unlha = [&run](const std::string& command) { return RunUnlha(command, run.codePage()); };
  DriveDatabaseDownload(run.exchange, run.progress, display, unlha, run.folders.AppFolder).ReceiveDriveDatabase();
  return run.finished();
}

}  // namespace quillon
