#pragma once
// `quillon scan`: the drives that answer on the networks of this computer, one row each, or a
// JSON array of them.
#include <iosfwd>
#include <string>
#include <vector>

#include "quillon/plant/drive_scan.h"

namespace quillon {

inline constexpr int kScanFoundDrives = 0;
inline constexpr int kScanFoundNone = 1;  // or the scan could not start

// The table of the drives found, and the JSON array of them.
std::string ScanTable(const std::vector<FoundDrive>& drives);
std::string ScanJson(const std::vector<FoundDrive>& drives);

// Scans and prints the drives on `out`; why none was found on `err`. Needs a QCoreApplication.
int RunScanCommand(const ScanOptions& options, bool json, std::ostream& out, std::ostream& err);

}  // namespace quillon
