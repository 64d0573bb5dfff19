#pragma once
// The drive's short history: trouble records ("MY300" + record) and event counters ("EV1",
// "EV2") with the time of each event's last occurrence ("EVT" + group). All replies are binary.
#include <array>
#include <cstdint>
#include <string>

#include "quillon/requests/exchange.h"

namespace quillon {

inline constexpr int kTroubleRows = 33;      // records 0 to 32; the save run reads 0 to 31
inline constexpr int kEventCountRows = 17;   // entries 0 to 16; the save run reads 0 to 15
inline constexpr int kTroubleRecordsRead = 32;  // records 0 to 31
inline constexpr int kEventTimeGroups = 4;      // "EVT" groups 0 to 3
inline constexpr int kTimeFields = 7;        // 0 unused, then year, month, day, hour, minute, second

using TimeFields = std::array<std::string, kTimeFields>;

// Kept from one run to the next until overwritten, as the drive's own tables are.
struct TroubleTables {
  std::array<TimeFields, kTroubleRows> TroubleTime{};
  std::array<std::array<std::int32_t, 2>, kTroubleRows> TroubleValues{};
  std::array<std::int32_t, kEventCountRows> EventCountValue{};
  std::array<TimeFields, kEventCountRows> EventCountTime{};
};

// A time byte as decimal text, "0" in front below 10; the year byte as 2000 + y.
std::string timeFieldText(std::uint8_t value);
std::string yearFieldText(std::uint8_t yearSince2000);

class RecordRequests {
 public:
  RecordRequests(Exchange& exchange, TroubleTables& tables) : exchange_(exchange), tables_(tables) {}

  void ReadTroubleRecord(std::uint8_t& record);
  void ReadEventCounts1();
  void ReadEventCounts2();
  void ReadEventTimes(std::uint8_t& group);

 private:
  void readEventCounts(const char* command, int firstEntry);

  Exchange& exchange_;
  TroubleTables& tables_;
};

}  // namespace quillon
