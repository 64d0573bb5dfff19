// The end of a save: the working folder packed into the dated archive beside it and removed,
// or with "/l" moved to the dated folder name instead. An existing archive or folder is never
// replaced: the first free second from now on names the save.
#include "platform/shell/folders.h"
#include "quillon/run/archiver.h"
#include "quillon/run/save_names.h"
#include "quillon/run/save_sequence.h"

namespace quillon {
namespace fs = std::filesystem;
namespace {

constexpr const char* kCompressError = "LHA Compress error";

StepState moveWorkingFolder(RunContext& run, const fs::path& target) {
  const fs::path working = run.folders.workingFolder();
  run.folderToOpen = target;
  if (!platform::shell::FolderExists(working)) {
    run.saveLocation = target;  // nothing was written to move
    return StepState::Skipped;
  }
  std::string failure = platform::shell::CreateFolder(run.folders.AppFolder);
  if (failure.empty()) failure = platform::shell::MoveFolder(working, target);
  if (failure.empty()) run.saveLocation = target;
  run.reportFailure(failure);
  return StepState::Skipped;  // the archive: the folder is moved instead
}

StepState packWorkingFolder(RunContext& run, const fs::path& target) {
  const fs::path working = run.folders.workingFolder();
  const fs::path archive = target.string() + kArchiveExtension;
  run.folderToOpen = run.folders.AppFolder;
  // A run that wrote nothing (all banks empty, nothing else saved) still makes its archive.
  if (std::string failure = platform::shell::CreateFolder(working); !failure.empty()) {
    run.fail(failure);
    return StepState::Failed;
  }
  if (RunUnlha(PackCommand(archive, working), run.codePage()) != 0) {
    run.fail(kCompressError);  // the working folder stays as it is
    return StepState::Failed;
  }
  run.saveLocation = archive;
  if (platform::shell::FolderExists(working)) {
    std::string failure = platform::shell::SetAttributesNormal(working);
    if (failure.empty()) failure = platform::shell::DeleteFolder(working, false);
    run.reportFailure(failure);
  }
  return run.x().ErrorText.empty() ? StepState::Done : StepState::Failed;
}

}  // namespace

StepState PackOrMoveWorkingFolder(RunContext& run) {
  const std::tm now = run.clock ? run.clock() : std::tm{};
  const fs::path target = FreeDatedTarget(run.folders.AppFolder, now);
  if (!run.switches.skipsArchive) return packWorkingFolder(run, target);
  return moveWorkingFolder(run, target);
}

}  // namespace quillon
