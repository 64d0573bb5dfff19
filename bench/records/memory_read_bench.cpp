// Memory read of the largest setting-parameter area (0x4059000 to 0x405FFFC, 28672 bytes):
// exchanges used and time taken, against the simulated drive's memory image in-process
// (reply building, decoding and table cost; no datagrams).
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "drivesim/record_images.h"
#include "quillon/requests/memory_requests.h"

namespace {

class MemoryImageExchange : public quillon::Exchange {
 public:
  explicit MemoryImageExchange(const drivesim::RecordImages& drive) : drive_(drive) {}
  bool transact(std::string_view request, quillon::ReplyForm) override {
    if (state_.AbortFlag) return false;
    ++sendCount_;
    const std::string digits(request.substr(2, request.size() - 3));
    state_.ReplyBytes = drive_.memoryBlockReply(std::strtoll(digits.c_str(), nullptr, 16));
    return true;
  }

 private:
  const drivesim::RecordImages& drive_;
};

}  // namespace

int main() {
  constexpr int kRounds = 200;
  std::uint64_t exchanges = 0;
  const auto begin = std::chrono::steady_clock::now();
  const drivesim::RecordImages drive("RX-Brin");
  for (int round = 0; round < kRounds; ++round) {
    MemoryImageExchange exchange(drive);
    quillon::MemoryTables tables;
    tables.ranges = quillon::chooseMemoryRanges(6, "RX-Brin");
    quillon::resizeSetpointWords(tables);
    quillon::MemoryRequests(exchange, tables).ReadSetpointMemory32();
    exchanges = exchange.sendCount();
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  std::printf("largest area 0x4059000-0x405FFFC: %llu exchanges per read (28672 bytes / 60 per block)\n",
              static_cast<unsigned long long>(exchanges));
  std::printf("simulated drive image, in-process: %.1f us per read (%d rounds)\n", seconds * 1e6 / kRounds, kRounds);
  return 0;
}
