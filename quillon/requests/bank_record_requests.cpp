#include <string>

#include "quillon/requests/record_requests.h"
#include "quillon/requests/reply_decoder.h"
#include "quillon/requests/trace_back_requests.h"

namespace quillon {

namespace {

// "MY1" text positions of the time fields.
constexpr int kHourPosition = 6;
constexpr int kMinutePosition = 10;
constexpr int kSecondPosition = 14;
constexpr int kMonthPosition = 18;
constexpr int kDayPosition = 22;
constexpr int kYearPosition = 24;  // four digits, years since 2000
constexpr int kYearBase = 2000;

enum BankTimeField { kYear = 1, kMonth, kDay, kHour, kMinute, kSecond };

// "MY51"/"MY52": fifteen FI codes from byte 3, then fifteen detected samples from byte 33.
constexpr int kFaultsPerReply = 15;
int faultCodeOffset(int k) { return 2 * k + 1; }
int detectedSampleOffset(int k) { return 2 * k + 31; }

// "MV": the bank's software version, characters 3 to 10.
constexpr int kVersionPosition = 3;
constexpr int kVersionLength = 8;

}  // namespace

bool BankRecordRequests::bankInTables(std::uint8_t bank, std::size_t rows, const char* command) {
  ExchangeState& state = exchange_.state();
  if (state.AbortFlag) return false;
  if (bank < rows) return true;
  state.abortWith(std::string("Bank ") + std::to_string(bank) + " is outside the trace-back tables (\"" + command + "\")");
  return false;
}

void BankRecordRequests::ReadBankTime(std::uint8_t& bank) {
  if (!bankInTables(bank, tables_.BankTime.size(), "MY1")) return;
  ExchangeState& state = exchange_.state();
  const std::string request = "MY1" + HexByteText(bank);
  if (!exchange_.transact(request, ReplyForm::Text)) return;
  TextReplyDecoder reply(state, request);
  BankTimeRow time;
  time[kHour] = timeFieldText(reply.hex8(kHourPosition));
  time[kMinute] = timeFieldText(reply.hex8(kMinutePosition));
  time[kSecond] = timeFieldText(reply.hex8(kSecondPosition));
  time[kMonth] = timeFieldText(reply.hex8(kMonthPosition));
  time[kDay] = timeFieldText(reply.hex8(kDayPosition));
  time[kYear] = std::to_string(kYearBase + reply.hex16(kYearPosition));
  if (!reply.ok()) return;
  for (int field = kYear; field <= kSecond; ++field) tables_.BankTime[bank][field] = std::move(time[field]);
}

void BankRecordRequests::ReadBankFaults1(std::uint8_t& bank) { readFaults(bank, "MY51", 1); }
void BankRecordRequests::ReadBankFaults2(std::uint8_t& bank) { readFaults(bank, "MY52", 1 + kFaultsPerReply); }

void BankRecordRequests::readFaults(std::uint8_t bank, const char* command, int firstEntry) {
  if (!bankInTables(bank, tables_.BankFaults.size(), command)) return;
  ExchangeState& state = exchange_.state();
  const std::string request = command + HexByteText(bank);
  if (!exchange_.transact(request, ReplyForm::Binary)) return;
  BinaryReplyDecoder reply(state, request);
  std::array<std::int16_t, kFaultsPerReply + 1> codes{};
  std::array<std::int16_t, kFaultsPerReply + 1> samples{};
  for (int k = 1; k <= kFaultsPerReply; ++k) {
    codes[k] = reply.s16(faultCodeOffset(k));
    samples[k] = reply.s16(detectedSampleOffset(k));
  }
  if (!reply.ok()) return;
  BankFaultList& faults = tables_.BankFaults[bank];
  for (int k = 1; k <= kFaultsPerReply; ++k) {
    faults[firstEntry + k - 1][1] = codes[k];
    faults[firstEntry + k - 1][2] = samples[k];
  }
}

void BankRecordRequests::ReadBankVersion(std::uint8_t& bank) {
  if (!bankInTables(bank, tables_.BankSoftVersion.size(), "MV")) return;
  ExchangeState& state = exchange_.state();
  const std::string request = "MV" + HexByteText(bank);
  if (!exchange_.transact(request, ReplyForm::Text)) return;
  TextReplyDecoder reply(state, request);
  std::string version = reply.chars(kVersionPosition, kVersionLength);
  if (!reply.ok()) return;
  tables_.BankSoftVersion[bank] = std::move(version);
}

}  // namespace quillon
