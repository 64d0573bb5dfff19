// A working folder left by an earlier run (a failed archive, an ended run) goes first: its
// files would otherwise be mixed into this run's archive.
#include "platform/shell/folders.h"
#include "quillon/run/save_sequence.h"

namespace quillon {

StepState ClearWorkingFolder(RunContext& run) {
  run.reportFailure(platform_shell::DeleteFolder(run.folders.workingFolder(), true));
  return run.finished();
}

}  // namespace quillon
