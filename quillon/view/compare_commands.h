#pragma once
// `quillon diff` and `quillon list`, and what `quillon report --compare` and the viewer take
// from the command line to compare saves.
#include "quillon/view/save_compare.h"
#include "quillon/view/view_command.h"

namespace quillon::view {

// The program folder of the documents folder (or --documents): where the saves are kept.
std::filesystem::path SaveFolderOf(const ViewCommand& command);
CompareContext CompareContextOf(const ViewCommand& command);

// Exit status as diff's: kDiffSame, kDiffDifferent, kDiffTrouble.
int RunDiff(const ViewCommand& command);
int RunList(const ViewCommand& command);

}  // namespace quillon::view
