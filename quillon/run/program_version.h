#pragma once
// The program's own version: in the window caption, `--version`, the drive status file and
// the "DriveSts" table.
#include <string>

#include "quillon/output/drive_status_file.h"

namespace quillon {

inline constexpr ProgramVersion kProgramVersion{2, 1};

// "2.1"
inline std::string ProgramVersionText() {
  return std::to_string(kProgramVersion.major) + "." + std::to_string(kProgramVersion.minor);
}

}  // namespace quillon
