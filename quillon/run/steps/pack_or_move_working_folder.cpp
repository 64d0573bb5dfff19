// The end of a save: the working folder packed into the dated archive beside it and removed,
// or with "/l" moved to the dated folder name instead.
#include "platform/shell/folders.h"
#include "quillon/run/archiver.h"
#include "quillon/run/save_names.h"
#include "quillon/run/save_sequence.h"

namespace quillon {
namespace fs = std::filesystem;
namespace {

constexpr const char* kCompressError = "LHA Compress error";

void moveWorkingFolder(RunContext& run, const fs::path& target) {
  const fs::path working = run.folders.workingFolder();
  run.saveLocation = target;
  run.folderToOpen = target;
  if (!platform_shell::FolderExists(working)) return;
  std::string failure = platform_shell::CreateFolder(run.folders.AppFolder);
  if (failure.empty()) failure = platform_shell::MoveFolder(working, target);
  run.reportFailure(failure);
}

StepState packWorkingFolder(RunContext& run, const fs::path& target) {
  const fs::path working = run.folders.workingFolder();
  const fs::path archive = target.string() + ".lzh";
  run.saveLocation = archive;
  run.folderToOpen = run.folders.AppFolder;
  // A run that wrote nothing (all banks empty, nothing else saved) still makes its archive.
  if (std::string failure = platform_shell::CreateFolder(working); !failure.empty()) {
    run.fail(failure);
    return StepState::Failed;
  }
  if (RunUnlha(PackCommand(archive, working), run.codePage()) == 0) {
    if (platform_shell::FolderExists(working)) {
      std::string failure = platform_shell::SetAttributesNormal(working);
      if (failure.empty()) failure = platform_shell::DeleteFolder(working, false);
      run.reportFailure(failure);
    }
  } else {
    run.fail(kCompressError);
  }
  return run.x().ErrorText.empty() ? StepState::Done : StepState::Failed;
}

}  // namespace

StepState PackOrMoveWorkingFolder(RunContext& run) {
  const std::tm now = run.clock ? run.clock() : std::tm{};
  const fs::path target = run.folders.AppFolder / DatedSaveName(now);
  if (!run.switches.skipsArchive) return packWorkingFolder(run, target);
  moveWorkingFolder(run, target);
  return StepState::Skipped;  // the archive: the folder is moved instead
}

}  // namespace quillon
