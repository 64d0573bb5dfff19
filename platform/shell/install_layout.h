#pragma once
// Where a program of this project finds the files that belong to it, from its own location
// alone: installed under <prefix>/bin it looks in <prefix>; run from a build tree (the nearest
// folder above it that holds CMakeCache.txt) it looks in that tree. No environment variable
// and no path of the machine it was built on takes part, so an installed program never
// reaches into a build tree and a build tree never into another one.
#include <filesystem>
#include <optional>

namespace platform::shell {

inline constexpr const char* kVelkorModuleFile = "libvelkor.so";

// The running program's own file (/proc/self/exe).
std::filesystem::path RunningProgram();

// libvelkor.so of `program`: <prefix>/lib/<multiarch>/quillon/ when installed, else
// <build>/velkor/module/.
std::optional<std::filesystem::path> VelkorModuleOf(const std::filesystem::path& program);

// The folder of TRB_TMP.mdb, SET_TMP.mdb and the simulated drive's database and product
// definition: <prefix>/share/quillon when installed, else <build>/templates.
std::optional<std::filesystem::path> TemplateFolderOf(const std::filesystem::path& program);

}  // namespace platform::shell
