#include "quillon/view/compare_commands.h"

#include <iostream>

#include "platform/shell/documents_folder.h"
#include "platform/shell/install_layout.h"
#include "quillon/view/csv_export.h"
#include "quillon/view/diff_writers.h"
#include "quillon/view/listing_text.h"
#include "quillon/view/save_list.h"
#include "quillon/view/save_reader.h"

namespace quillon::view {

namespace fs = std::filesystem;

namespace {

// The folder of the program's own files, where the simulated drive's database ships too.
fs::path programFilesFolder() {
  const fs::path program = platform::shell::RunningProgram();
  return platform::shell::TemplateFolderOf(program).value_or(program.parent_path());
}

int trouble(const std::string& why) {
  std::cerr << "quillon: " << why << "\n";
  return kDiffTrouble;
}

}  // namespace

fs::path SaveFolderOf(const ViewCommand& command) {
  // The same name the save run gives its folder.
  return platform::shell::DocumentsFolder(command.documents) / "Quillon";
}

CompareContext CompareContextOf(const ViewCommand& command) {
  CompareContext context;
  context.codePage = command.codePage;
  context.saveFolders = {SaveFolderOf(command)};
  context.search = {SaveFolderOf(command), command.installRoot.value_or("/opt"), programFilesFolder()};
  return context;
}

int RunDiff(const ViewCommand& command) {
  const CompareContext context = CompareContextOf(command);
  SaveDiff diff;
  try {
    const SaveModel newer = ReadSave(command.path, command.codePage);
    fs::path olderPath;
    if (command.previous) {
      const auto previous = PreviousSaveOf(command.path, newer, context);
      if (!previous)
        return trouble("no earlier save of " + newer.drive.driveType + " \"" + newer.drive.panelName + "\" under " +
                       SaveFolderOf(command).string() + ".");
      olderPath = *previous;
    } else {
      olderPath = *command.compare;
    }
    const SaveModel older = ReadSave(olderPath, command.codePage);
    diff = CompareModels(older, olderPath, newer, command.path, context);
  } catch (const std::bad_alloc&) {
    return trouble("the saves are too large to be held in memory.");
  } catch (const std::exception& error) {
    return trouble(error.what());
  }
  std::cout << (command.json ? DiffJson(diff) : DiffText(diff));
  if (command.html) {
    try {
      WriteFileComplete(*command.html, DiffHtmlPage(diff));
    } catch (const ExportError& error) {
      return trouble(error.what());
    }
    if (!command.json) std::cout << "\nWritten: " << command.html->string() << "\n";
  }
  return diff.same() ? kDiffSame : kDiffDifferent;
}

int RunList(const ViewCommand& command) {
  const fs::path folder = command.path.empty() ? SaveFolderOf(command) : command.path;
  std::error_code error;
  if (!fs::is_directory(folder, error)) {
    std::cerr << "quillon: " << folder.string() << ": no such folder (no save has been made there yet).\n";
    return kViewFailed;
  }
  const std::vector<SaveListing> saves = ListSaves(folder, command.codePage);
  if (command.json) std::cout << ListJson(saves);
  else if (saves.empty()) std::cout << "No saves under " << folder.string() << ".\n";
  else std::cout << ListText(saves);
  return kViewDone;
}

}  // namespace quillon::view
