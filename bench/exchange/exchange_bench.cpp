// Round trip of one request through the control and the live exchange against the simulated
// drive on 127.0.0.1, beside two plain UDP sockets exchanging datagrams of the same sizes;
// then the CPU time the exchanging thread spends while the drive answers after 5 ms.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/saverun/udp_ping_pong.h"
#include "tests/exchange/live_exchange_rig.h"
#include "velkor/framing/framing.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kRequest = "MX1";  // 3 bytes out, 21 bytes back
constexpr int kWarmUpRounds = 200;
constexpr int kRoundsPerTrial = 2000;
constexpr int kTrials = 5;
constexpr int kDelayedReplyMs = 5;
constexpr int kDelayedRounds = 200;

double threadCpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_THREAD, &usage);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Mean microseconds per exchange over `rounds`; negative when an exchange failed.
double exchangeRoundTripMicros(exchange_test::LiveExchangeRig& rig, int rounds) {
  const auto start = Clock::now();
  for (int i = 0; i < rounds; ++i)
    if (!rig.exchange().transact(kRequest, quillon::ReplyForm::Text)) return -1;
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / rounds;
}

int fail(exchange_test::LiveExchangeRig& rig, const char* what) {
  std::fprintf(stderr, "exchange_bench: %s: %s\n", what,
               rig.error().empty() ? rig.state().ErrorText.c_str() : rig.error().c_str());
  return 1;
}

int measureRoundTrip() {
  exchange_test::LiveExchangeRig rig;
  if (!rig.error().empty()) return fail(rig, "setting up");
  const std::string request = kRequest;
  const std::size_t requestBytes = velkor::framing::kHeaderSize + request.size();
  const std::size_t replyBytes =
      velkor::framing::kHeaderSize +
      drivesim::CommandModel(rig.drive().profile()).replyTo(std::vector<std::uint8_t>(request.begin(), request.end())).size();

  if (exchangeRoundTripMicros(rig, kWarmUpRounds) < 0) return fail(rig, "warming up");
  double exchangeSum = 0, bareSum = 0;
  for (int trial = 0; trial < kTrials; ++trial) {
    const double exchange = exchangeRoundTripMicros(rig, kRoundsPerTrial);
    const double bare = bench::BareUdpRoundTripMicros(kRoundsPerTrial, requestBytes, replyBytes);
    if (exchange < 0) return fail(rig, "exchanging");
    if (bare < 0) {
      std::fprintf(stderr, "exchange_bench: the bare UDP sockets failed\n");
      return 1;
    }
    std::printf("trial %d: exchange %.1f us, bare UDP %.1f us\n", trial + 1, exchange, bare);
    exchangeSum += exchange;
    bareSum += bare;
  }
  const double exchange = exchangeSum / kTrials, bare = bareSum / kTrials;
  std::printf("round trip, %zu-byte request and %zu-byte reply datagrams on 127.0.0.1, %d x %d exchanges:\n",
              requestBytes, replyBytes, kTrials, kRoundsPerTrial);
  std::printf("  control + live exchange + simulated drive: %.1f us\n", exchange);
  std::printf("  bare UDP ping-pong:                        %.1f us\n", bare);
  std::printf("  ratio: %.2f (target <= 1.3)\n", exchange / bare);
  return 0;
}

int measureCpuWhileWaiting() {
  drivesim::Misbehaviour slow;
  slow.delayMs = kDelayedReplyMs;
  exchange_test::LiveExchangeRig rig(slow);
  if (!rig.error().empty()) return fail(rig, "setting up the slow drive");
  const double cpuBefore = threadCpuSeconds();
  const auto start = Clock::now();
  const double perExchange = exchangeRoundTripMicros(rig, kDelayedRounds);
  const double wall = std::chrono::duration<double>(Clock::now() - start).count();
  const double cpu = threadCpuSeconds() - cpuBefore;
  if (perExchange < 0) return fail(rig, "exchanging with the slow drive");
  std::printf("drive answering after %d ms, %d exchanges: %.2f ms each; exchanging thread CPU %.3f s of %.3f s"
              " = %.2f %% of one core (target < 5 %%)\n",
              kDelayedReplyMs, kDelayedRounds, perExchange / 1000, cpu, wall, 100 * cpu / wall);
  return 0;
}

}  // namespace

int main() {
  if (const int failed = measureRoundTrip()) return failed;
  return measureCpuWhileWaiting();
}
