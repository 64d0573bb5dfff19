// Memory read of the largest setting-parameter area (0x4059000 to 0x405FFFC, 28672 bytes):
// exchanges used and time taken, against an in-process memory image (decode and table cost
// only, no datagrams).
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "quillon/requests/memory_requests.h"

namespace {

class MemoryImageExchange : public quillon::Exchange {
 public:
  bool transact(std::string_view request, quillon::ReplyForm) override {
    if (state_.AbortFlag) return false;
    ++sendCount_;
    const std::string digits(request.substr(2, request.size() - 3));
    const auto address = std::strtoll(digits.c_str(), nullptr, 16);
    auto& reply = state_.ReplyBytes;
    reply.assign(62, 0);
    reply[0] = 0x06;
    for (int k = 0; k < 30; ++k) {
      const auto word = static_cast<std::uint16_t>(address + 2 * k);
      reply[2 + 2 * k] = static_cast<std::uint8_t>(word >> 8);
      reply[3 + 2 * k] = static_cast<std::uint8_t>(word);
    }
    return true;
  }
};

}  // namespace

int main() {
  constexpr int kRounds = 200;
  std::uint64_t exchanges = 0;
  const auto begin = std::chrono::steady_clock::now();
  for (int round = 0; round < kRounds; ++round) {
    MemoryImageExchange exchange;
    quillon::MemoryTables tables;
    tables.ranges = quillon::chooseMemoryRanges(6, "RX-Brin");
    quillon::resizeSetpointWords(tables);
    quillon::MemoryRequests(exchange, tables).ReadSetpointMemory32();
    exchanges = exchange.sendCount();
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  std::printf("largest area 0x4059000-0x405FFFC: %llu exchanges per read (28672 bytes / 60 per block)\n",
              static_cast<unsigned long long>(exchanges));
  std::printf("in-process image: %.1f us per read (%d rounds)\n", seconds * 1e6 / kRounds, kRounds);
  return 0;
}
