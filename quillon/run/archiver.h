#pragma once
// The archiver as the save run calls it: `Unlha` with a command line ("a ..." packs the working
// folder, "e ..." extracts the drive's database archive).
#include <string>

namespace quillon {

// 0 when the archiver did what it was told; what it says of a failure goes to the terminal.
int RunUnlha(const std::string& command);

}  // namespace quillon
