// A full save run of a large trace-back layout over UDP against the simulated drive on
// 127.0.0.1, beside a bare UDP ping-pong of the same datagram sizes measured in the same run:
// time and process CPU per exchange, quickest and median of several trials. The run in
// process (no socket) and the peak memory are shown too.
//
//   saverun_bench [--trials N] [--layout Mz2|mzx] [--signals N]
//
// --signals makes a smaller run of the same kind, for a profiler.
#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/shell/folders.h"
#include "drivesim/command_model.h"
#include "tests/requests/scripted_exchange.h"
#include "save_run_rig.h"
#include "udp_ping_pong.h"
#include "velkor/framing/framing.h"

namespace {
namespace fs = std::filesystem;
using bench::Layout;
using bench::RunScope;

constexpr int kBareRounds = 20000;
constexpr std::size_t kSampleRequestBytes = 9;  // letters, bank, signal, block

struct SampleLayout {
  Layout layout;
  const char* command;
  std::size_t replyPayloadBytes;  // status and samples
};

long peakRssKilobytes() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

struct Bare {
  double micros = 0;     // wall per round trip
  double cpuMicros = 0;  // process CPU per round trip, both sides
};

Bare bareRoundTrip(std::size_t requestBytes, std::size_t replyBytes) {
  const double cpuBefore = bench::ProcessCpuSeconds();
  Bare bare;
  bare.micros = bench::BareUdpRoundTripMicros(kBareRounds, requestBytes, replyBytes);
  bare.cpuMicros = (bench::ProcessCpuSeconds() - cpuBefore) * 1e6 / kBareRounds;
  return bare;
}

bool measure(const SampleLayout& s, const fs::path& documents, int trials) {
  const Layout& layout = s.layout;
  // In process: the simulated drive's command model answers without a socket.
  drivesim::CommandModel model{drivesim::DriveProfile{bench::DriveOptionsOf(layout)}};
  quillon_test::ScriptedExchange exchange;
  exchange.responder = quillon_test::AnswersOf(model);
  const bench::RunFigures in = bench::SaveRun(exchange, documents, RunScope::TraceBack);
  std::printf("%s, %d signals:\n  in process (no socket): %s, %llu exchanges, %.2f s, %.2f us per exchange, peak RSS %.1f MB\n",
              layout.name, layout.signalCounts[0], in.completed ? "completed" : "FAILED", static_cast<unsigned long long>(in.exchanges),
              in.seconds, in.seconds * 1e6 / static_cast<double>(std::max<std::uint64_t>(in.exchanges, 1)),
              peakRssKilobytes() / 1024.0);

  const std::size_t requestBytes = velkor::framing::kHeaderSize + kSampleRequestBytes;
  const std::size_t replyBytes = velkor::framing::kHeaderSize + s.replyPayloadBytes;
  std::vector<double> wall, bareWall, cpu, bareCpu, wallRatio, cpuRatio;
  std::uint64_t exchanges = 0;
  for (int t = 0; t < trials; ++t) {
    const bench::RunFigures udp = bench::SaveRunOverLoopback(layout, documents, RunScope::TraceBack);
    if (!udp.completed || udp.exchanges == 0) {
      std::printf("  over UDP: FAILED: %s\n", udp.problem.c_str());
      return false;
    }
    exchanges = udp.exchanges;
    const double n = static_cast<double>(udp.exchanges);
    const Bare bare = bareRoundTrip(requestBytes, replyBytes);
    wall.push_back(udp.seconds * 1e6 / n);
    cpu.push_back(udp.cpuSeconds * 1e6 / n);
    bareWall.push_back(bare.micros);
    bareCpu.push_back(bare.cpuMicros);
    wallRatio.push_back(wall.back() / bare.micros);
    cpuRatio.push_back(cpu.back() / bare.cpuMicros);
    std::printf("  trial %d: %.2f s, %.2f us per exchange (CPU %.2f us); bare %.2f us (CPU %.2f us); ratio %.2f\n",
                t + 1, udp.seconds, wall.back(), cpu.back(), bare.micros, bare.cpuMicros, wallRatio.back());
  }
  const auto w = bench::SpreadOf(wall), b = bench::SpreadOf(bareWall), c = bench::SpreadOf(cpu),
             bc = bench::SpreadOf(bareCpu), wr = bench::SpreadOf(wallRatio), cr = bench::SpreadOf(cpuRatio);
  std::printf("  over UDP against the simulated drive, %llu exchanges (%s, %zu-byte request and %zu-byte reply"
              " datagrams), %d trials:\n",
              static_cast<unsigned long long>(exchanges), s.command, requestBytes, replyBytes, trials);
  std::printf("                                 quickest     median    process CPU (median)\n");
  std::printf("    save run, per exchange:     %7.2f us  %7.2f us  %7.2f us\n", w.quickest, w.median, c.median);
  std::printf("    bare UDP ping-pong:         %7.2f us  %7.2f us  %7.2f us\n", b.quickest, b.median, bc.median);
  std::printf("    ratio:                      %7.2f     %7.2f     %7.2f     (targets <= 1.3; CPU <= 1.5)\n",
              w.quickest / b.quickest, w.median / b.median, c.median / bc.median);
  std::printf("    ratio within each trial:    %7.2f     %7.2f     %7.2f\n", wr.quickest, wr.median, cr.median);
  std::printf("  peak RSS %.1f MB\n", peakRssKilobytes() / 1024.0);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const bench::OwnRegistrationStore registrations;
  int trials = 5;
  int signalCount = 255;
  std::string only;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--trials") && i + 1 < argc) trials = std::max(1, std::atoi(argv[++i]));
    else if (!std::strcmp(argv[i], "--layout") && i + 1 < argc) only = argv[++i];
    else if (!std::strcmp(argv[i], "--signals") && i + 1 < argc) signalCount = std::clamp(std::atoi(argv[++i]), 1, 255);
    else {
      std::fprintf(stderr, "usage: saverun_bench [--trials N] [--layout Mz2|mzx] [--signals N]\n");
      return 2;
    }
  }
  const fs::path documents = fs::temp_directory_path() / ("quillon_saverun_bench_" + std::to_string(::getpid()));
  SampleLayout layouts[] = {
      {{"8 banks, \"Mz2\" depth 960", 6, 1, "RX-Brin", {15, 0, 0, 0, 0}, {255, 0, 0, 0, 0}, 8},
       "Mz2", 1 + 15 * 4},
      {{"1 bank, \"mzx\" depth 15552 (largest the block numbers allow)", 6, 2, "RX-Jarn",
        {243, 0, 0, 0, 0}, {255, 0, 0, 0, 0}, 1},
       "mzx", 1 + 61 * 4},
  };
  for (SampleLayout& s : layouts) s.layout.signalCounts[0] = signalCount;
  std::printf("peak RSS before any run: %.1f MB\n", peakRssKilobytes() / 1024.0);
  bool ok = true;
  for (const SampleLayout& s : layouts)
    if (only.empty() || only == s.command) ok = measure(s, documents, trials) && ok;
  platform::shell::DeleteFolder(documents, true);
  return ok ? 0 : 1;
}
