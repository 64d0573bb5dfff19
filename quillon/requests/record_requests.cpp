#include "quillon/requests/record_requests.h"

#include <cstdio>

#include "quillon/requests/reply_decoder.h"

namespace quillon {

namespace {

// Field positions of a time stamp: byte index of each column (1 year .. 6 second).
struct TimeLayout {
  int year, month, day, hour, minute, second;
};
constexpr TimeLayout kTroubleTimeLayout{16, 12, 14, 6, 8, 10};
constexpr int kTroubleFirstCode = 17;
constexpr int kTroubleSecondCode = 19;

constexpr int kCountersPerReply = 8;
constexpr int kFirstCounterByte = 2;

constexpr int kEventTimesPerReply = 4;
constexpr int kEventTimeRecordBytes = 12;
constexpr TimeLayout kEventTimeLayout{13, 9, 11, 3, 5, 7};  // offsets from the record's base

TimeFields decodeTime(BinaryReplyDecoder& reply, const TimeLayout& layout, int base) {
  TimeFields fields;
  fields[1] = yearFieldText(reply.u8(base + layout.year));
  fields[2] = timeFieldText(reply.u8(base + layout.month));
  fields[3] = timeFieldText(reply.u8(base + layout.day));
  fields[4] = timeFieldText(reply.u8(base + layout.hour));
  fields[5] = timeFieldText(reply.u8(base + layout.minute));
  fields[6] = timeFieldText(reply.u8(base + layout.second));
  return fields;
}

// Column 0 of a time row is never written by the drive requests.
void storeTime(TimeFields& row, const TimeFields& decoded) {
  for (int column = 1; column < kTimeFields; ++column) row[column] = decoded[column];
}

}  // namespace

std::string timeFieldText(std::uint8_t value) {
  return (value < 10 ? "0" : "") + std::to_string(value);
}

std::string yearFieldText(std::uint8_t yearSince2000) { return std::to_string(2000 + yearSince2000); }

void RecordRequests::ReadTroubleRecord(std::uint8_t& record) {
  ExchangeState& state = exchange_.state();
  if (state.AbortFlag) return;
  if (record >= kTroubleRows) {
    state.abortWith("Trouble record " + std::to_string(record) + " is outside the trouble table");
    return;
  }
  const std::string request = "MY300" + HexByteText(record);
  if (!exchange_.transact(request, ReplyForm::Binary)) return;
  BinaryReplyDecoder reply(state, request);
  const TimeFields time = decodeTime(reply, kTroubleTimeLayout, 0);
  const std::int16_t firstCode = reply.s16(kTroubleFirstCode);
  const std::int16_t secondCode = reply.s16(kTroubleSecondCode);
  if (!reply.ok()) return;
  storeTime(tables_.TroubleTime[record], time);
  tables_.TroubleValues[record] = {firstCode, secondCode};
}

void RecordRequests::ReadEventCounts1() { readEventCounts("EV1", 0); }
void RecordRequests::ReadEventCounts2() { readEventCounts("EV2", kCountersPerReply); }

void RecordRequests::readEventCounts(const char* command, int firstEntry) {
  ExchangeState& state = exchange_.state();
  if (!exchange_.transact(command, ReplyForm::Binary)) return;
  BinaryReplyDecoder reply(state, command);
  std::array<std::int32_t, kCountersPerReply> counts{};
  for (int i = 0; i < kCountersPerReply; ++i) counts[i] = reply.s32(kFirstCounterByte + 4 * i);
  if (!reply.ok()) return;
  for (int i = 0; i < kCountersPerReply; ++i) tables_.EventCountValue[firstEntry + i] = counts[i];
}

void RecordRequests::ReadEventTimes(std::uint8_t& group) {
  ExchangeState& state = exchange_.state();
  if (state.AbortFlag) return;
  if ((group + 1) * kEventTimesPerReply > kEventCountRows) {
    state.abortWith("Event time group " + std::to_string(group) + " is outside the event-count table");
    return;
  }
  char digit[4];
  std::snprintf(digit, sizeof digit, "%X", group);
  const std::string request = std::string("EVT") + digit;
  if (!exchange_.transact(request, ReplyForm::Binary)) return;
  BinaryReplyDecoder reply(state, request);
  std::array<TimeFields, kEventTimesPerReply> times;
  for (int j = 0; j < kEventTimesPerReply; ++j) times[j] = decodeTime(reply, kEventTimeLayout, kEventTimeRecordBytes * j);
  if (!reply.ok()) return;
  for (int j = 0; j < kEventTimesPerReply; ++j) storeTime(tables_.EventCountTime[kEventTimesPerReply * group + j], times[j]);
}

}  // namespace quillon
