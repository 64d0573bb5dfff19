#include <algorithm>
#include <cstdio>
#include <vector>

#include "quillon/requests/reply_decoder.h"
#include "quillon/requests/trace_back_requests.h"

namespace quillon {

namespace {

// "MZ1": entry k at characters 4k to 4k + 3. "Mz1"/"mz1": entry k at bytes 4k - 1 to 4k + 2.
constexpr int kTextEntryDigits = 4;
int textEntryPosition(int k) { return 4 * k; }
int binaryEntryOffset(int k) { return 4 * k - 1; }

std::string hex8Digits(std::uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", value);
  return text;
}

}  // namespace

void SignalAddressRequests::ReadSignalAddresses16(std::uint8_t& bank) { readAddresses(bank, "MZ1", Form::Text16, 8); }
void SignalAddressRequests::ReadSignalAddresses32(std::uint8_t& bank) { readAddresses(bank, "Mz1", Form::Binary32, 8); }
void SignalAddressRequests::ReadSignalAddresses32Wide(std::uint8_t& bank) {
  readAddresses(bank, "mz1", Form::Binary32, 32);
}

void SignalAddressRequests::readAddresses(std::uint8_t bank, const char* command, Form form, int perBlock) {
  ExchangeState& state = exchange_.state();
  if (state.AbortFlag) return;
  const int signals = tables_.SignalsPerBank;
  if (bank >= tables_.SignalAddress.size() || tables_.SignalAddress[bank].size() < signals + 1u) {
    state.abortWith(std::string("The signal-address table is not prepared for bank ") + std::to_string(bank) +
                    " (\"" + command + "\")");
    return;
  }
  std::vector<std::string>& row = tables_.SignalAddress[bank];
  const int blocks = BlockCount(signals, perBlock);
  for (int j = 1; j <= blocks; ++j) {
    const std::string request = command + HexByteText(bank) + HexByteText(static_cast<std::uint8_t>(j));
    if (!exchange_.transact(request, form == Form::Text16 ? ReplyForm::Text : ReplyForm::Binary)) return;
    const int first = (j - 1) * perBlock + 1;
    const int count = std::min(perBlock, signals - first + 1);
    std::vector<std::string> entries;
    if (form == Form::Text16) {
      TextReplyDecoder reply(state, request);
      for (int k = 1; k <= count; ++k) {
        reply.hexUnsigned(textEntryPosition(k), kTextEntryDigits);  // digits are kept as sent, once checked
        entries.push_back("&H" + reply.chars(textEntryPosition(k), kTextEntryDigits));
      }
      if (!reply.ok()) return;
    } else {
      BinaryReplyDecoder reply(state, request);
      for (int k = 1; k <= count; ++k) entries.push_back("&H" + hex8Digits(reply.u32(binaryEntryOffset(k))));
      if (!reply.ok()) return;
    }
    for (int k = 1; k <= count; ++k) row[first + k - 1] = std::move(entries[k - 1]);
  }
}

}  // namespace quillon
