#include <algorithm>
#include <string>

#include "quillon/requests/reply_decoder.h"
#include "quillon/requests/trace_back_requests.h"

namespace quillon {

namespace {

// "MX1": five depths from character 2, then five signal counts from character 12.
constexpr int kFirstDepthPosition = 2;
constexpr int kFirstSignalsPosition = 12;
// "MX2": five 8-digit sampling values from character 2; "MX3": five 4-digit indexes.
constexpr int kFirstSamplingPosition = 2;
constexpr int kFirstFaultIndexPosition = 2;

}  // namespace

void GroupRequests::ReadGroupLayout() {
  ExchangeState& state = exchange_.state();
  if (!exchange_.transact("MX1", ReplyForm::Text)) return;
  TextReplyDecoder reply(state, "MX1");
  std::array<std::uint8_t, kGroupTableSize> depth{};
  std::array<std::uint8_t, kGroupTableSize> signals{};
  for (int i = 0; i < kGroupCount; ++i) depth[i] = reply.hex8(kFirstDepthPosition + 2 * i);
  for (int j = 1; j <= kGroupCount; ++j) signals[j] = reply.hex8(kFirstSignalsPosition + 2 * (j - 1));
  if (!reply.ok()) return;

  // The summary bytes build on what the run cleared; a total beyond one byte is refused
  // rather than wrapped.
  int maxDepth = tables_.MaxGroupDepth;
  int totalSignals = tables_.SignalsPerBank;
  for (int i = 0; i < kGroupCount; ++i) maxDepth = std::max<int>(maxDepth, depth[i]);
  for (int j = 1; j <= kGroupCount; ++j) totalSignals += signals[j];
  if (totalSignals > kMaxSignalCount) {
    state.abortWith("The drive's trace-back layout cannot be read: its groups hold " + std::to_string(totalSignals) +
                    " signals, more than " + std::to_string(kMaxSignalCount));
    return;
  }
  for (int i = 0; i < kGroupCount; ++i) tables_.GroupDepth[i] = depth[i];
  for (int j = 1; j <= kGroupCount; ++j) tables_.GroupSignals[j] = signals[j];
  tables_.MaxGroupDepth = static_cast<std::uint8_t>(maxDepth);
  tables_.SignalsPerBank = static_cast<std::uint8_t>(totalSignals);
}

void GroupRequests::ReadGroupSampling(std::uint8_t& bank) {
  ExchangeState& state = exchange_.state();
  const std::string request = "MX2" + HexByteText(bank);
  if (!exchange_.transact(request, ReplyForm::Text)) return;
  TextReplyDecoder reply(state, request);
  std::array<std::int32_t, kGroupTableSize> sampling{};
  for (int k = 1; k <= kGroupCount; ++k) sampling[k] = reply.hex32(kFirstSamplingPosition + 8 * (k - 1));
  if (!reply.ok()) return;
  for (int k = 1; k <= kGroupCount; ++k) tables_.GroupSampling[k] = sampling[k];
}

void GroupRequests::ReadGroupFaultIndex(std::uint8_t& bank) {
  ExchangeState& state = exchange_.state();
  const std::string request = "MX3" + HexByteText(bank);
  if (!exchange_.transact(request, ReplyForm::Text)) return;
  TextReplyDecoder reply(state, request);
  std::array<std::int16_t, kGroupTableSize> index{};
  for (int k = 1; k <= kGroupCount; ++k) index[k] = reply.hex16(kFirstFaultIndexPosition + 4 * (k - 1));
  if (!reply.ok()) return;
  for (int k = 1; k <= kGroupCount; ++k) tables_.GroupFaultIndex[k] = index[k];
}

int BlockCount(int depth, int perBlock) { return depth / perBlock + 1; }

}  // namespace quillon
