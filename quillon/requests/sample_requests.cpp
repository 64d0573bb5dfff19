#include <array>
#include <string>

#include "quillon/requests/drive_identity.h"
#include "quillon/requests/reply_decoder.h"
#include "quillon/requests/trace_back_requests.h"

namespace quillon {

// One of the three sample requests: letters, samples per block, sample width, and whether
// every signal is read to the deepest group's depth.
struct SampleRequests::Variant {
  const char* command;
  int perBlock;
  int sampleBytes;  // 2 or 4
  bool deepestForAll;
};

namespace {

constexpr SampleRequests::Variant kSamples16{"MZ2", 31, 2, true};
constexpr SampleRequests::Variant kSamples32{"Mz2", 15, 4, false};
constexpr SampleRequests::Variant kSamples32Wide{"mzx", 61, 4, false};

constexpr int kLargestSamplesPerBlock = 61;
constexpr int kFirstSampleOffset = 1;  // after the status byte

}  // namespace

void SampleRequests::ReadBankSamples16(std::uint8_t& bank, int validBankCount) {
  readSamples(bank, validBankCount, kSamples16);
}
void SampleRequests::ReadBankSamples32(std::uint8_t& bank, int validBankCount) {
  readSamples(bank, validBankCount, kSamples32);
}
void SampleRequests::ReadBankSamples32Wide(std::uint8_t& bank, int validBankCount) {
  readSamples(bank, validBankCount, kSamples32Wide);
}

int SampleRequests::depthOfSignal(const Variant& variant, int signal) const {
  if (variant.deepestForAll) return tables_.sampleDepth();
  const int group = tables_.groupOfSignal(signal);
  return group == 0 ? 0 : tables_.GroupDepth[group - 1] * kDepthUnitSamples;
}

std::string SampleRequests::layoutProblem(const Variant& variant) const {
  for (int s = 1; s <= tables_.SignalsPerBank; ++s) {
    const int depth = depthOfSignal(variant, s);
    const int blocks = BlockCount(depth, variant.perBlock);
    if (blocks > kMaxBlockNumber)
      return "The drive's trace-back layout cannot be read: signal " + std::to_string(s) + " holds " +
             std::to_string(depth) + " samples, which needs " + std::to_string(blocks) + " \"" + variant.command +
             "\" blocks, more than the block number can hold (" + std::to_string(kMaxBlockNumber) + ")";
  }
  return {};
}

void SampleRequests::readSamples(std::uint8_t bank, int validBankCount, const Variant& variant) {
  ExchangeState& state = exchange_.state();
  if (state.AbortFlag) return;
  const bool wide = variant.sampleBytes == 4;
  const int tableSignals = wide ? tables_.SampleData32.signals() : tables_.SampleData16.signals();
  const int tableSamples = wide ? tables_.SampleData32.samples() : tables_.SampleData16.samples();
  if (tableSignals < tables_.SignalsPerBank || tableSamples < tables_.sampleDepth()) {
    state.abortWith(std::string("The sample table is not prepared for \"") + variant.command + "\"");
    return;
  }
  if (std::string why = layoutProblem(variant); !why.empty()) {
    state.abortWith(std::move(why));
    return;
  }
  for (int s = 1; s <= tables_.SignalsPerBank; ++s)
    if (!readSignal(bank, s, depthOfSignal(variant, s), validBankCount, variant)) return;
}

// Returns false when the run was aborted.
bool SampleRequests::readSignal(std::uint8_t bank, int signal, int depth, int validBankCount, const Variant& variant) {
  ExchangeState& state = exchange_.state();
  const double step = SampleStepWidth(progress_.boxWidth(), validBankCount, depth, tables_.SignalsPerBank);
  const int blocks = BlockCount(depth, variant.perBlock);
  std::string request = std::string(variant.command) + HexByteText(bank) + HexByteText(static_cast<std::uint8_t>(signal));
  const std::size_t blockAt = request.size();
  std::array<std::int32_t, kLargestSamplesPerBlock> values{};
  for (int b = 1; b <= blocks; ++b) {
    request.resize(blockAt);
    request += HexByteText(static_cast<std::uint8_t>(b));
    if (!exchange_.transact(request, ReplyForm::Binary)) return false;
    const int first = (b - 1) * variant.perBlock + 1;
    const int count = std::min(variant.perBlock, depth - first + 1);  // the rest of the reply is not used
    BinaryReplyDecoder reply(state, request);
    const std::span<std::int32_t> block(values.data(), static_cast<std::size_t>(count));
    if (!reply.signedRun(kFirstSampleOffset, variant.sampleBytes, block)) return false;
    for (int k = 0; k < count; ++k) {
      if (variant.sampleBytes == 2) tables_.SampleData16.set(signal, first + k, static_cast<std::int16_t>(block[k]));
      else tables_.SampleData32.set(signal, first + k, block[k]);
      progress_.advance(step);
    }
  }
  return true;
}

}  // namespace quillon
