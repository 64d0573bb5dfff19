// Round trip of one request through the control and the live exchange against the simulated
// drive on 127.0.0.1, beside two plain UDP sockets exchanging datagrams of the same sizes (the
// requester waiting in its read, and waiting in poll() before it as an event loop does);
// then the CPU time the exchanging thread spends while the drive answers after 5 ms.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/saverun/udp_ping_pong.h"
#include "tests/live_exchange/live_exchange_rig.h"
#include "velkor/framing/framing.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kRequest = "MX1";  // 3 bytes out, 21 bytes back
constexpr int kWarmUpRounds = 200;
// Many short trials, each exchange trial beside a bare one. Other work on the machine
// lengthens some trials a lot; the quickest trial of each kind is the least disturbed, and
// the CPU time both sides of the process spend per round trip hardly depends on that load.
constexpr int kRoundsPerTrial = 500;
constexpr int kTrials = 21;
constexpr int kDelayedReplyMs = 5;
constexpr int kDelayedRounds = 200;

double cpuSeconds(int who) {
  rusage usage{};
  ::getrusage(who, &usage);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Mean microseconds per exchange over `rounds`; negative when an exchange failed.
double exchangeRoundTripMicros(quillon_test::LiveExchangeRig& rig, int rounds) {
  const auto start = Clock::now();
  for (int i = 0; i < rounds; ++i)
    if (!rig.exchange().transact(kRequest, quillon::ReplyForm::Text)) return -1;
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / rounds;
}

int fail(quillon_test::LiveExchangeRig& rig, const char* what) {
  std::fprintf(stderr, "exchange_bench: %s: %s\n", what,
               rig.error().empty() ? rig.state().ErrorText.c_str() : rig.error().c_str());
  return 1;
}

// Wall and process CPU microseconds per round trip of one kind, over the trials.
struct RoundTrips {
  std::vector<double> wall;
  double cpuMicros = 0;
  int rounds = 0;
  double quickest() const { return *std::min_element(wall.begin(), wall.end()); }
  double median() const {
    std::vector<double> sorted = wall;
    std::sort(sorted.begin(), sorted.end());
    return sorted[sorted.size() / 2];
  }
  double cpuPerRound() const { return cpuMicros / rounds; }
};

template <typename Measure>
bool addTrial(RoundTrips& into, Measure measure) {
  const double cpuBefore = cpuSeconds(RUSAGE_SELF);
  const double micros = measure();
  if (micros < 0) return false;
  into.cpuMicros += (cpuSeconds(RUSAGE_SELF) - cpuBefore) * 1e6;
  into.rounds += kRoundsPerTrial;
  into.wall.push_back(micros);
  return true;
}

int measureRoundTrip() {
  quillon_test::LiveExchangeRig rig;
  if (!rig.error().empty()) return fail(rig, "setting up");
  const std::string request = kRequest;
  const std::size_t requestBytes = velkor::framing::kHeaderSize + request.size();
  const std::size_t replyBytes =
      velkor::framing::kHeaderSize +
      drivesim::CommandModel(rig.drive().profile()).replyTo(std::vector<std::uint8_t>(request.begin(), request.end())).size();

  if (exchangeRoundTripMicros(rig, kWarmUpRounds) < 0) return fail(rig, "warming up");
  RoundTrips exchange, bare, barePolling;
  for (int trial = 0; trial < kTrials; ++trial) {
    if (!addTrial(exchange, [&] { return exchangeRoundTripMicros(rig, kRoundsPerTrial); }))
      return fail(rig, "exchanging");
    const bool bareOk =
        addTrial(bare, [&] { return bench::BareUdpRoundTripMicros(kRoundsPerTrial, requestBytes, replyBytes); }) &&
        addTrial(barePolling, [&] {
          return bench::BareUdpRoundTripMicros(kRoundsPerTrial, requestBytes, replyBytes,
                                               bench::ClientWait::PollThenRead);
        });
    if (!bareOk) {
      std::fprintf(stderr, "exchange_bench: the bare UDP sockets failed\n");
      return 1;
    }
  }
  std::printf("round trip, %zu-byte request and %zu-byte reply datagrams on 127.0.0.1, %d trials of %d:\n",
              requestBytes, replyBytes, kTrials, kRoundsPerTrial);
  std::printf("                                             quickest trial  median trial  process CPU per round trip\n");
  std::printf("  control + live exchange + simulated drive: %8.1f us     %8.1f us   %8.1f us\n", exchange.quickest(),
              exchange.median(), exchange.cpuPerRound());
  std::printf("  bare UDP ping-pong:                        %8.1f us     %8.1f us   %8.1f us\n", bare.quickest(),
              bare.median(), bare.cpuPerRound());
  std::printf("  ratio (targets: time <= 1.3, CPU <= 1.5):  %8.2f        %8.2f      %8.2f\n",
              exchange.quickest() / bare.quickest(), exchange.median() / bare.median(),
              exchange.cpuPerRound() / bare.cpuPerRound());
  std::printf("  bare, requester waiting in poll() first:   %8.1f us     %8.1f us   %8.1f us\n",
              barePolling.quickest(), barePolling.median(), barePolling.cpuPerRound());
  std::printf("  ratio to that (what an event loop costs):  %8.2f        %8.2f      %8.2f\n",
              exchange.quickest() / barePolling.quickest(), exchange.median() / barePolling.median(),
              exchange.cpuPerRound() / barePolling.cpuPerRound());
  return 0;
}

int measureCpuWhileWaiting() {
  drivesim::Misbehaviour slow;
  slow.delayMs = kDelayedReplyMs;
  quillon_test::LiveExchangeRig rig(slow);
  if (!rig.error().empty()) return fail(rig, "setting up the slow drive");
  const double cpuBefore = cpuSeconds(RUSAGE_THREAD);
  const auto start = Clock::now();
  const double perExchange = exchangeRoundTripMicros(rig, kDelayedRounds);
  const double wall = std::chrono::duration<double>(Clock::now() - start).count();
  const double cpu = cpuSeconds(RUSAGE_THREAD) - cpuBefore;
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
