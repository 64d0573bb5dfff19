#pragma once
// Which control module the program loads, and the check that it is the one it was built for.
#include <string>

namespace quillon {

// The version of libvelkor.so this program was built for (the project's version).
std::string WantedVelkorModuleVersion();

}  // namespace quillon
