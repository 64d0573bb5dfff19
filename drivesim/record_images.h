#pragma once
// What a simulated drive holds besides its trace banks: the setting-parameter and event-log
// memory, trouble records, event counters with their last times, clock, sequence outputs and
// PR codes. All of it is derived from the drive type, so every read of the same drive sees the
// same data, and the replies are built with the layouts the program decodes.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace drivesim {

inline constexpr std::uint8_t kAck = 0x06;
inline constexpr const char* kDefaultPanelName = "Line 3 / Winder #2";

struct TimeStamp {
  std::uint8_t year = 0;  // since 2000
  std::uint8_t month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

// Event-log area of the drive types that keep one: 64 records of 16 bytes, the setting
// parameters right after it (a read of the area's last block reaches into them).
inline constexpr std::int64_t kEventLogStart = 0x24058C00;
inline constexpr std::int64_t kEventLogBytes = 64 * 16;

// Values a test sets so that two saves differ in known ways; they take the place of what the
// drive would hold otherwise.
struct RecordOverrides {
  std::map<std::int64_t, std::int16_t> memoryWords;  // byte address of a 16-bit word: its value
  std::map<int, std::int32_t> eventCounts;           // counter 1-15: its count
};

class RecordImages {
 public:
  // `panelName` and `softVersion` are the drive's bytes of its panel name and firmware
  // version, which its parameters hold too.
  explicit RecordImages(std::string_view driveType, std::string_view panelName = kDefaultPanelName,
                        std::string_view softVersion = "SIM01.00", RecordOverrides overrides = {});

  // The 16-bit word at a byte address of the drive memory (event-log area or parameters).
  std::int16_t memoryWord(std::int64_t address) const;

  TimeStamp eventLogTime(int record) const;  // record from 0
  TimeStamp troubleTime(int record) const;
  std::int16_t troubleCode(int record, int which) const;  // which 0 or 1
  std::int32_t eventCount(int entry) const;
  TimeStamp eventTime(int entry) const;
  TimeStamp clock() const;
  std::uint16_t sseqOutput(int which) const;  // which 0 or 1
  std::uint16_t prCode(int k) const;          // k 0 to 9

  // Replies: status byte, then the layout of each command.
  std::vector<std::uint8_t> memoryBlockReply(std::int64_t address) const;  // "LP" / "Lp": 62 bytes
  std::vector<std::uint8_t> troubleRecordReply(int record) const;          // "MY300": 21 bytes
  std::vector<std::uint8_t> eventCountsReply(int firstEntry) const;        // "EV1" 0, "EV2" 8: 34 bytes
  std::vector<std::uint8_t> eventTimesReply(int group) const;              // "EVT": 50 bytes
  std::string clockReply() const;                                          // "J": 25 characters
  std::vector<std::uint8_t> sseqOutputsReply() const;                      // "ZS": 6 bytes
  std::vector<std::uint8_t> prCodesReply() const;                          // "SP": 22 bytes

 private:
  std::uint32_t mix(std::uint32_t value) const;
  std::int16_t eventLogWord(std::int64_t offset) const;
  TimeStamp stampFor(std::uint32_t key) const;

  std::uint32_t seed_;
  std::vector<std::uint16_t> namedParameterWords_;
  RecordOverrides overrides_;
};

}  // namespace drivesim
