#include "drivesim/record_images.h"

#include <cstdio>

#include "drivesim/mix_bits.h"

namespace drivesim {

namespace {

void putWord(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint16_t word) {
  bytes[at] = static_cast<std::uint8_t>(word >> 8);
  bytes[at + 1] = static_cast<std::uint8_t>(word & 0xFF);
}

std::uint16_t packed(std::uint8_t high, std::uint8_t low) { return static_cast<std::uint16_t>(high << 8 | low); }

}  // namespace

RecordImages::RecordImages(std::string_view driveType) : seed_(2166136261u) {
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
  const std::int64_t offset = address - kEventLogStart;
  if (offset >= 0 && offset < kEventLogBytes) return eventLogWord(offset);
  return static_cast<std::int16_t>(mix(static_cast<std::uint32_t>(address / 2)) & 0xFFFF);
}

TimeStamp RecordImages::eventLogTime(int record) const { return stampFor(0x10000u + static_cast<std::uint32_t>(record)); }
TimeStamp RecordImages::troubleTime(int record) const { return stampFor(0x20000u + static_cast<std::uint32_t>(record)); }
std::int16_t RecordImages::troubleCode(int record, int which) const {
  return static_cast<std::int16_t>(mix(0x30000u + static_cast<std::uint32_t>(record * 2 + which)) % 400);
}
std::int32_t RecordImages::eventCount(int entry) const {
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
