// The setting-parameter file; then, for the drive types that keep an event log, the event-log
// area and its file.
#include "quillon/output/setpoint_files.h"
#include "quillon/requests/memory_requests.h"
#include "quillon/run/save_sequence.h"

namespace quillon {

StepState WriteSettingFiles(RunContext& run) {
  const std::filesystem::path working = run.folders.workingFolder();
  run.reportFailure(WriteSetpointFile(working, run.SafePanelName, run.memory, run.codePage()));
  if (driveHasEventLog(run.identity.InterfaceLevel, run.identity.DriveType)) {
    MemoryRequests(run.exchange, run.memory, [&run](int done, int of) {
      run.events.emit(MemoryBlocksRead{MemoryArea::EventLog, done, of});
    }).ReadEventLogMemory();
    run.reportFailure(WriteEventLogFile(working, run.SafePanelName, run.memory, run.codePage()));
  }
  return run.finished();
}

}  // namespace quillon
