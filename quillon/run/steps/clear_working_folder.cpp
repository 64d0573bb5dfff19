// The working folder of an earlier run is never deleted with what it holds: a run that ended
// early (a refusal, a timeout, Cancel, Exit, a failed archive) left there the data it had read.
// It is kept beside it as TRBSAVE_<date>_<time>_incomplete before this run starts its own; only
// an empty one is removed. Its files would otherwise be mixed into this run's archive.
#include <filesystem>

#include "platform/shell/folders.h"
#include "quillon/run/save_names.h"
#include "quillon/run/save_sequence.h"

namespace quillon {
namespace fs = std::filesystem;
namespace {

bool holdsAnything(const fs::path& folder) {
  std::error_code ignored;
  return fs::is_directory(folder, ignored) && !fs::is_empty(folder, ignored);
}

}  // namespace

StepState ClearWorkingFolder(RunContext& run) {
  const fs::path working = run.folders.workingFolder();
  if (!holdsAnything(working)) {
    run.reportFailure(platform::shell::DeleteFolder(working, true));
    run.workingFolderIsThisRuns = !run.aborted();
    return run.finished();
  }
  const std::tm now = run.clock ? run.clock() : std::tm{};
  const fs::path kept = FirstFreeName(run.folders.AppFolder, IncompleteSaveName(now));
  if (const std::string failure = platform::shell::MoveFolder(working, kept); !failure.empty()) {
    run.fail("The data of an earlier run in " + working.string() +
             " could not be kept aside, so this run does not start: " + failure);
    return StepState::Failed;
  }
  run.workingFolderIsThisRuns = true;
  run.notice("The data of an earlier run that did not complete was kept: " + working.string() + " is now " +
             kept.string());
  return StepState::Done;
}

}  // namespace quillon
