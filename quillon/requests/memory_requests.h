#pragma once
// Block reads of drive memory into word tables: the setting parameters ("LP" with a 16-bit
// address below interface level 6, "Lp" with a 32-bit address from level 6 on) and the event log.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "quillon/requests/exchange.h"
#include "quillon/requests/memory_ranges.h"

namespace quillon {

// Signed 16-bit words, index 0 unused; each pair of words is stored swapped (the word read
// from address a + 2 sits before the word read from a).
struct MemoryTables {
  MemoryRanges ranges;
  std::vector<std::int16_t> SetpointWords;  // sized by the save run before the read
  std::vector<std::int16_t> EventLogWords;  // sized by ReadEventLogMemory itself
};

inline constexpr int kMemoryBlockBytes = 60;   // bytes of drive memory per reply
inline constexpr int kMemoryBlockWords = 30;
inline constexpr int kMemoryReplyDataOffset = 2;  // status, one unused byte, then the words

// "LP" + 4 hex digits + "F", or "Lp" + 8 hex digits + "F".
std::string setpointRequest16(std::int32_t address);
std::string memoryRequest32(std::int32_t address);

// Resizes (and clears) SetpointWords for the current setting-parameter area.
void resizeSetpointWords(MemoryTables& tables);

class MemoryRequests {
 public:
  // Told before the first block (0 of n) and after each block stored, so that a long read shows
  // it moves.
  using BlockListener = std::function<void(int done, int of)>;

  MemoryRequests(Exchange& exchange, MemoryTables& tables, BlockListener blocks = {})
      : exchange_(exchange), tables_(tables), blocks_(std::move(blocks)) {}

  void ReadSetpointMemory16();
  void ReadSetpointMemory32();
  void ReadEventLogMemory();

 private:
  enum class AddressForm { Hex4, Hex8 };
  void readArea(std::int32_t start, std::int32_t end, AddressForm form, const char* areaName,
                std::vector<std::int16_t>& words);
  bool storeBlock(std::int64_t block, double wordCount, std::vector<std::int16_t>& words,
                  const std::string& request);
  static int wordsWantedFrom(std::int64_t block, double wordCount);

  Exchange& exchange_;
  MemoryTables& tables_;
  BlockListener blocks_;
};

}  // namespace quillon
