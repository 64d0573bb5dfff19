#include "platform/shell/install_layout.h"

#include <system_error>

namespace platform::shell {
namespace fs = std::filesystem;

namespace {

// <prefix> when `program` sits in <prefix>/<bin dir>.
std::optional<fs::path> installPrefixOf(const fs::path& program) {
  fs::path folder = program.parent_path();
  const fs::path binDir(QUILLON_INSTALL_BIN_DIR);
  for (auto part = binDir.end(); part != binDir.begin();) {
    --part;
    if (folder.filename() != *part) return std::nullopt;
    folder = folder.parent_path();
  }
  return folder;
}

std::optional<fs::path> buildRootOf(const fs::path& program) {
  std::error_code ec;
  for (fs::path folder = program.parent_path(); !folder.empty(); folder = folder.parent_path()) {
    if (fs::is_regular_file(folder / "CMakeCache.txt", ec)) return folder;
    if (folder == folder.root_path()) break;
  }
  return std::nullopt;
}

// The first of <prefix>/<installed> and <build root>/<built> that holds `probe`.
std::optional<fs::path> folderBeside(const fs::path& program, const char* installed, const char* built,
                                     const char* probe) {
  std::error_code ec;
  if (const auto prefix = installPrefixOf(program); prefix && fs::is_regular_file(*prefix / installed / probe, ec))
    return (*prefix / installed).lexically_normal();
  if (const auto root = buildRootOf(program); root && fs::is_regular_file(*root / built / probe, ec))
    return (*root / built).lexically_normal();
  return std::nullopt;
}

}  // namespace

fs::path RunningProgram() {
  std::error_code ec;
  const fs::path program = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : program;
}

std::optional<fs::path> VelkorModuleOf(const fs::path& program) {
  const auto folder = folderBeside(program, QUILLON_INSTALL_MODULE_DIR, QUILLON_BUILD_MODULE_DIR, kVelkorModuleFile);
  if (!folder) return std::nullopt;
  return *folder / kVelkorModuleFile;
}

std::optional<fs::path> TemplateFolderOf(const fs::path& program) {
  return folderBeside(program, QUILLON_INSTALL_DATA_DIR, QUILLON_BUILD_TEMPLATE_DIR, "TRB_TMP.mdb");
}

}  // namespace platform::shell
