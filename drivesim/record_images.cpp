#include "drivesim/record_images.h"

#include <cstdio>
#include <utility>

#include "drivesim/mix_bits.h"

namespace drivesim {

namespace {

void putWord(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint16_t word) {
  bytes[at] = static_cast<std::uint8_t>(word >> 8);
  bytes[at + 1] = static_cast<std::uint8_t>(word & 0xFF);
}

std::uint16_t packed(std::uint8_t high, std::uint8_t low) { return static_cast<std::uint16_t>(high << 8 | low); }

// The first setting parameters of the 32-bit drives hold fixed values that the simulated drive
// database names (templates/simulated_drive.sql): texts, a tool address, one or two words,
// bytes and a float, so that their conversion has something real to show.
constexpr std::int64_t kNamedParameterStart = 0x24059000;
constexpr std::int64_t kNamedParameterBytes = 0x98;

// The panel name's parameter ("INF_PANEL") holds up to this many bytes.
constexpr std::size_t kPanelNameBytes = 20;

// 32-bit values at 4-aligned offsets, most significant half first, as the drive keeps them;
// texts four bytes to a value, the first byte in the lowest byte.
std::vector<std::uint16_t> namedParameterWords(std::string_view panelName, std::string_view softVersion) {
  std::vector<std::uint16_t> words(kNamedParameterBytes / 2, 0);
  auto put32 = [&words](std::size_t offset, std::uint32_t value) {
    words[offset / 2] = static_cast<std::uint16_t>(value >> 16);
    words[offset / 2 + 1] = static_cast<std::uint16_t>(value & 0xFFFF);
  };
  auto putText = [&put32](std::size_t offset, std::string_view text) {
    for (std::size_t i = 0; i < text.size(); i += 4) {
      std::uint32_t value = 0;
      for (std::size_t k = 0; k < 4 && i + k < text.size(); ++k)
        value |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(text[i + k])) << (8 * k);
      put32(offset + i, value);
    }
  };
  put32(0x00, 100);                    // ACC_TIME1; DEC_TIME1 at 0x04 stays 0
  put32(0x08, 4);                      // MOTOR_POLES
  put32(0x0C, 18022);                  // SPD_LIMIT, 110 % of 16384
  putText(0x10, "Winder 2");           // LINE_NAME
  put32(0x18, 0x43160000);             // TRQ_LIMIT, 150.0 as a float
  put32(0x1C, 0x031200A5);             // OUT_SEL_A / OUT_SEL_B bytes, FAN_MODE
  put32(0x20, 0x7F000001);             // TOOL_IP 127.0.0.1
  put32(0x24, 0x00010000);             // MON_SEL: the address of SPD_REF
  putText(0x28, "RX-Fenn");            // INF_M_TYPE
  putText(0x30, softVersion.substr(0, 8));  // INF_SOFTVER
  putText(0x38, panelName.substr(0, kPanelNameBytes));  // INF_PANEL
  putText(0x4C, "JOB-1400");           // INF_JOBNO
  putText(0x54, "-A");                 // INF_JOBNO1; INF_JOBNO2 at 0x5C is empty
  putText(0x64, "Winder drive");       // INF_TITLE; INF_MEMO at 0x74 is empty
  putText(0x7C, "WND-2");              // INF_TAG
  putText(0x84, "R3");                 // INF_DBREV
  putText(0x88, "SN000001");           // INF_SERIAL, a character item the conversion leaves out
  put32(0x90, 2);                      // STOP_MODE
  return words;
}

}  // namespace

RecordImages::RecordImages(std::string_view driveType, std::string_view panelName, std::string_view softVersion,
                           RecordOverrides overrides)
    : seed_(2166136261u),
      namedParameterWords_(namedParameterWords(panelName, softVersion)),
      overrides_(std::move(overrides)) {
  for (char c : driveType) seed_ = (seed_ ^ static_cast<std::uint8_t>(c)) * 16777619u;
}

std::uint32_t RecordImages::mix(std::uint32_t value) const {
  return MixBits(value ^ seed_);
}

TimeStamp RecordImages::stampFor(std::uint32_t key) const {
  const std::uint32_t m = mix(key);
  TimeStamp t;
  t.year = static_cast<std::uint8_t>(14 + m % 12);
  t.month = static_cast<std::uint8_t>(1 + (m >> 4) % 12);
  t.day = static_cast<std::uint8_t>(1 + (m >> 8) % 28);
  t.hour = static_cast<std::uint8_t>((m >> 13) % 24);
  t.minute = static_cast<std::uint8_t>((m >> 18) % 60);
  t.second = static_cast<std::uint8_t>((m >> 24) % 60);
  return t;
}

// Event records of eight words in memory order: five data words, then the time stamp packed
// as (minute, hour) in word 6, (month, second) in word 7, (year, day) in word 8.
std::int16_t RecordImages::eventLogWord(std::int64_t offset) const {
  const auto record = static_cast<std::uint32_t>(offset / 16);
  const int word = static_cast<int>(offset % 16) / 2 + 1;
  const TimeStamp t = eventLogTime(static_cast<int>(record));
  switch (word) {
    case 6: return static_cast<std::int16_t>(packed(t.hour, t.minute));
    case 7: return static_cast<std::int16_t>(packed(t.second, t.month));
    case 8: return static_cast<std::int16_t>(packed(t.day, t.year));
    default: return static_cast<std::int16_t>(mix(record * 8 + static_cast<std::uint32_t>(word)) % 2000 - 1000);
  }
}

std::int16_t RecordImages::memoryWord(std::int64_t address) const {
  if (const auto set = overrides_.memoryWords.find(address); set != overrides_.memoryWords.end()) return set->second;
  const std::int64_t offset = address - kEventLogStart;
  if (offset >= 0 && offset < kEventLogBytes) return eventLogWord(offset);
  if (const std::int64_t named = address - kNamedParameterStart; named >= 0 && named < kNamedParameterBytes) {
    return static_cast<std::int16_t>(namedParameterWords_[static_cast<std::size_t>(named / 2)]);
  }
  return static_cast<std::int16_t>(mix(static_cast<std::uint32_t>(address / 2)) & 0xFFFF);
}

TimeStamp RecordImages::eventLogTime(int record) const { return stampFor(0x10000u + static_cast<std::uint32_t>(record)); }
TimeStamp RecordImages::troubleTime(int record) const { return stampFor(0x20000u + static_cast<std::uint32_t>(record)); }
std::int16_t RecordImages::troubleCode(int record, int which) const {
  return static_cast<std::int16_t>(mix(0x30000u + static_cast<std::uint32_t>(record * 2 + which)) % 400);
}
std::int32_t RecordImages::eventCount(int entry) const {
  if (const auto set = overrides_.eventCounts.find(entry); set != overrides_.eventCounts.end()) return set->second;
  return static_cast<std::int32_t>(mix(0x40000u + static_cast<std::uint32_t>(entry)) % 100000);
}
TimeStamp RecordImages::eventTime(int entry) const { return stampFor(0x50000u + static_cast<std::uint32_t>(entry)); }
TimeStamp RecordImages::clock() const { return stampFor(0x60000u); }
std::uint16_t RecordImages::sseqOutput(int which) const {
  return static_cast<std::uint16_t>(mix(0x70000u + static_cast<std::uint32_t>(which)));
}
std::uint16_t RecordImages::prCode(int k) const {
  return static_cast<std::uint16_t>(mix(0x80000u + static_cast<std::uint32_t>(k)));
}

std::vector<std::uint8_t> RecordImages::memoryBlockReply(std::int64_t address) const {
  std::vector<std::uint8_t> bytes(62, 0);
  bytes[0] = kAck;
  for (int k = 0; k < 30; ++k)
    putWord(bytes, static_cast<std::size_t>(2 + 2 * k), static_cast<std::uint16_t>(memoryWord(address + 2 * k)));
  return bytes;
}

std::vector<std::uint8_t> RecordImages::troubleRecordReply(int record) const {
  std::vector<std::uint8_t> bytes(21, 0);
  bytes[0] = kAck;
  const TimeStamp t = troubleTime(record);
  bytes[6] = t.hour;
  bytes[8] = t.minute;
  bytes[10] = t.second;
  bytes[12] = t.month;
  bytes[14] = t.day;
  bytes[16] = t.year;
  putWord(bytes, 17, static_cast<std::uint16_t>(troubleCode(record, 0)));
  putWord(bytes, 19, static_cast<std::uint16_t>(troubleCode(record, 1)));
  return bytes;
}

std::vector<std::uint8_t> RecordImages::eventCountsReply(int firstEntry) const {
  std::vector<std::uint8_t> bytes(34, 0);
  bytes[0] = kAck;
  for (int i = 0; i < 8; ++i) {
    const auto count = static_cast<std::uint32_t>(eventCount(firstEntry + i));
    putWord(bytes, static_cast<std::size_t>(2 + 4 * i), static_cast<std::uint16_t>(count >> 16));
    putWord(bytes, static_cast<std::size_t>(4 + 4 * i), static_cast<std::uint16_t>(count & 0xFFFF));
  }
  return bytes;
}

std::vector<std::uint8_t> RecordImages::eventTimesReply(int group) const {
  std::vector<std::uint8_t> bytes(50, 0);
  bytes[0] = kAck;
  for (int j = 0; j < 4; ++j) {
    const TimeStamp t = eventTime(4 * group + j);
    const std::size_t base = static_cast<std::size_t>(12 * j);
    bytes[base + 3] = t.hour;
    bytes[base + 5] = t.minute;
    bytes[base + 7] = t.second;
    bytes[base + 9] = t.month;
    bytes[base + 11] = t.day;
    bytes[base + 13] = t.year;
  }
  return bytes;
}

// Status, then hour at 4-5, minute 8-9, second 12-13, month 16-17, day 20-21, year 22-25.
std::string RecordImages::clockReply() const {
  const TimeStamp t = clock();
  char text[32];
  std::snprintf(text, sizeof text, "%c00%02X00%02X00%02X00%02X00%02X%04X", kAck, t.hour, t.minute, t.second, t.month,
                t.day, t.year);
  return text;
}

std::vector<std::uint8_t> RecordImages::sseqOutputsReply() const {
  std::vector<std::uint8_t> bytes(6, 0);
  bytes[0] = kAck;
  putWord(bytes, 2, sseqOutput(0));
  putWord(bytes, 4, sseqOutput(1));
  return bytes;
}

std::vector<std::uint8_t> RecordImages::prCodesReply() const {
  std::vector<std::uint8_t> bytes(22, 0);
  bytes[0] = kAck;
  for (int k = 0; k < 10; ++k) putWord(bytes, static_cast<std::size_t>(2 + 2 * k), prCode(k));
  return bytes;
}

}  // namespace drivesim
