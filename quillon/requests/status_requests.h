#pragma once
// The few status values recorded at the end of a save: the drive clock ("J", text reply), two
// sequence output words ("ZS") and ten PR codes ("SP"), both binary.
#include <array>
#include <string>

#include "quillon/requests/exchange.h"

namespace quillon {

inline constexpr int kDriveStatusEntries = 19;  // indexes 0 to 18; 0 unused
inline constexpr int kClockYearIndex = 1;        // 1-6: year, month, day, hour, minute, second
inline constexpr int kSseqOut1Index = 7;
inline constexpr int kSseqOut2Index = 8;
inline constexpr int kFirstPrCodeIndex = 9;
inline constexpr int kPrCodeCount = 10;

struct DriveStatusTable {
  std::array<std::string, kDriveStatusEntries> DriveStatusText{};
};

class StatusRequests {
 public:
  StatusRequests(Exchange& exchange, DriveStatusTable& table) : exchange_(exchange), table_(table) {}

  void ReadDriveClock();
  void ReadSseqOutputs();
  void ReadPrCodes();

 private:
  Exchange& exchange_;
  DriveStatusTable& table_;
};

}  // namespace quillon
