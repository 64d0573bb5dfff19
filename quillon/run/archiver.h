#pragma once
// The archiver as the save run calls it: `Unlha` with a command line ("a ..." packs the working
// folder, "e ..." extracts the drive's database archive).
#include <string>

#include "platform/shell/codepage.h"

namespace quillon {

// 0 when the archiver did what it was told; what it says of a failure goes to the terminal.
// Member names are written and read in `codePage` (UTF-8 when a name does not fit it).
int RunUnlha(const std::string& command, const platform::shell::CodePage& codePage);

}  // namespace quillon
