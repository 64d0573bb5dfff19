#pragma once
// Which control module the program loads, and the check that it is the one it was built for.
#include <optional>
#include <string>

namespace quillon {

// The version of libvelkor.so this program was built for (the project's version).
std::string WantedVelkorModuleVersion();

// The control module the program would load and the version it gives itself; nothing, with
// `why`, when none is found or it cannot be loaded.
struct VelkorModuleVersion {
  std::string version;
  std::string module;
};
std::optional<VelkorModuleVersion> FindVelkorModuleVersion(std::string& why);

}  // namespace quillon
