#include "quillon/requests/memory_requests.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "quillon/requests/reply_decoder.h"

namespace quillon {

namespace {

constexpr std::int64_t kLargest16BitAddress = 0xFFFF;

std::string hexAddressText(std::int64_t address, int digits) {
  char text[24];
  std::snprintf(text, sizeof text, "%0*llX", digits, static_cast<unsigned long long>(address) & 0xFFFFFFFFull);
  return text;
}

std::string addressRequest(const char* letters, std::int32_t address, int digits) {
  return letters + hexAddressText(address, digits) + "F";
}

}  // namespace

std::string setpointRequest16(std::int32_t address) { return addressRequest("LP", address, 4); }
std::string memoryRequest32(std::int32_t address) { return addressRequest("Lp", address, 8); }

void resizeSetpointWords(MemoryTables& tables) {
  tables.SetpointWords.assign(memoryWordTableSize(tables.ranges.SetpointStart, tables.ranges.SetpointEnd), 0);
}

void MemoryRequests::ReadSetpointMemory16() {
  readArea(tables_.ranges.SetpointStart, tables_.ranges.SetpointEnd, AddressForm::Hex4, "setting parameter",
           tables_.SetpointWords);
}

void MemoryRequests::ReadSetpointMemory32() {
  readArea(tables_.ranges.SetpointStart, tables_.ranges.SetpointEnd, AddressForm::Hex8, "setting parameter",
           tables_.SetpointWords);
}

void MemoryRequests::ReadEventLogMemory() {
  tables_.EventLogWords.assign(memoryWordTableSize(tables_.ranges.EventLogStart, tables_.ranges.EventLogEnd), 0);
  readArea(tables_.ranges.EventLogStart, tables_.ranges.EventLogEnd, AddressForm::Hex8, "event log",
           tables_.EventLogWords);
}

// One request per 60-byte block from start on; word w of the area (from 1) goes to index w + 1
// when w is odd and to w - 1 when it is even. Blocks beyond the word count are never requested.
void MemoryRequests::readArea(std::int32_t start, std::int32_t end, AddressForm form, const char* areaName,
                              std::vector<std::int16_t>& words) {
  ExchangeState& state = exchange_.state();
  const std::int64_t span = memorySpanBytes(start, end);
  const double wordCount = static_cast<double>(span) / 2.0;
  const std::int64_t areaEnd = static_cast<std::int64_t>(end) + 4;
  const std::int64_t lastBlock = span / kMemoryBlockBytes + 1;
  // The blocks the loop below will ask for, the same rules walked without a request.
  int blockCount = 0;
  for (std::int64_t block = 0, at = start; block <= lastBlock && at < areaEnd; ++block, at += kMemoryBlockBytes) {
    ++blockCount;
    if (wordsWantedFrom(block, wordCount) < kMemoryBlockWords) break;
  }
  if (blocks_) blocks_(0, blockCount);
  std::int64_t address = start;
  for (std::int64_t block = 0; block <= lastBlock; ++block) {
    if (state.AbortFlag || address >= areaEnd) return;
    if (form == AddressForm::Hex4 && (address < 0 || address > kLargest16BitAddress)) {
      state.abortWith(std::string("The ") + areaName + " address " + hexAddressText(address, 4) +
                      " cannot be requested with \"LP\"");
      return;
    }
    const auto blockAddress = static_cast<std::int32_t>(address);
    const std::string request = form == AddressForm::Hex4 ? setpointRequest16(blockAddress) : memoryRequest32(blockAddress);
    if (!exchange_.transact(request, ReplyForm::Binary)) return;
    address += kMemoryBlockBytes;
    const bool more = storeBlock(block, wordCount, words, request);
    if (blocks_ && exchange_.state().ErrorText.empty()) blocks_(static_cast<int>(block + 1), blockCount);
    if (!more) return;
  }
}

int MemoryRequests::wordsWantedFrom(std::int64_t block, double wordCount) {
  const std::int64_t firstWord = block * kMemoryBlockWords + 1;
  const auto wordsLeft = static_cast<std::int64_t>(std::floor(wordCount)) - firstWord + 1;
  return static_cast<int>(std::clamp<std::int64_t>(wordsLeft, 0, kMemoryBlockWords));
}

// Takes only the words the area still needs from this block. A reply too short for them ends
// the run with a message; nothing of that block is stored.
bool MemoryRequests::storeBlock(std::int64_t block, double wordCount, std::vector<std::int16_t>& words,
                                const std::string& request) {
  const std::int64_t firstWord = block * kMemoryBlockWords + 1;
  const int wordsWanted = wordsWantedFrom(block, wordCount);
  BinaryReplyDecoder reply(exchange_.state(), request);
  std::int16_t blockWords[kMemoryBlockWords] = {};
  for (int k = 1; k <= wordsWanted; ++k) blockWords[k - 1] = reply.s16(kMemoryReplyDataOffset + 2 * (k - 1));
  if (!reply.ok()) return false;
  for (int k = 1; k <= wordsWanted; ++k) {
    const std::int64_t word = firstWord + k - 1;
    const std::int64_t index = (k % 2 == 1) ? word + 1 : word - 1;
    if (index >= 0 && index < static_cast<std::int64_t>(words.size()))
      words[static_cast<std::size_t>(index)] = blockWords[k - 1];
  }
  return wordsWanted == kMemoryBlockWords;
}

}  // namespace quillon
