// A full save run of a large trace-back layout: number of exchanges, wall time, time per
// exchange beside a bare UDP ping-pong on loopback, and peak memory (RSS).
//
//   saverun_bench            both layouts, in process (no socket) and, when built with the
//                            live exchange, against the simulated drive on 127.0.0.1
#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "drivesim/command_model.h"
#include "drivesim/simulated_drive.h"
#include "platform/shell/folders.h"
#include "quillon/live_exchange/velkor_exchange.h"
#include "quillon/run/run_context.h"
#include "quillon/run/save_sequence.h"
#include "tests/requests/scripted_exchange.h"
#include "udp_ping_pong.h"

namespace {
namespace fs = std::filesystem;
using namespace quillon;

struct Layout {
  const char* name;
  int level, minor;
  const char* driveType;
  std::array<int, 5> depth;
  std::array<int, 5> signalCounts;
  int recordedBanks;
};

long peakRssKilobytes() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

struct RunFigures {
  std::uint64_t exchanges = 0;
  double seconds = 0;
  bool completed = false;
};

// One whole save run; the drive's firmware has no drive database here, so each bank is
// written as its CSV set (the workbook is measured on its own).
RunFigures saveRun(Exchange& exchange, const fs::path& documents) {
  RunContext run(exchange, RunFolders::InDocuments(documents, documents / "none", documents / "none"),
                 RunSwitches::Of(""), [] { return std::tm{}; });
  platform_shell::CreateFolder(run.folders.AppFolder);
  const auto start = std::chrono::steady_clock::now();
  const RunOutcome outcome = RunSaveSequence(run, false);
  RunFigures figures;
  figures.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  figures.exchanges = exchange.sendCount();
  figures.completed = outcome == RunOutcome::Completed;
  if (!figures.completed) std::printf("  ended: %s\n", run.x().ErrorText.c_str());
  return figures;
}

drivesim::DriveOptions driveOf(const Layout& layout) {
  drivesim::DriveOptions options;
  options.driveType = layout.driveType;
  options.interfaceLevel = layout.level;
  options.interfaceMinor = layout.minor;
  options.softVersion = "BENCH1.00";
  for (int g = 0; g < 5; ++g) {
    options.groupDepth[g] = static_cast<std::uint8_t>(layout.depth[g]);
    options.groupSignals[g] = static_cast<std::uint8_t>(layout.signalCounts[g]);
  }
  options.recordedBanks.clear();
  for (int b = 0; b < layout.recordedBanks; ++b) options.recordedBanks.push_back(b);
  return options;
}

// The whole run in process: the simulated drive's command model answers without a socket.
RunFigures inProcess(const Layout& layout, const fs::path& documents) {
  drivesim::CommandModel model{drivesim::DriveProfile{driveOf(layout)}};
  quillon_test::ScriptedExchange exchange;
  exchange.responder = quillon_test::AnswersOf(model);
  return saveRun(exchange, documents);
}

// The same run over the Velkor control and UDP against the simulated drive on 127.0.0.1.
RunFigures overLoopback(const Layout& layout, const fs::path& documents) {
  drivesim::SimulatedDrive drive{drivesim::DriveProfile{driveOf(layout)}};
  std::string error;
  if (!drive.start({}, error)) {
    std::printf("  simulated drive: %s\n", error.c_str());
    return {};
  }
  std::unique_ptr<Exchange> exchange = OpenVelkorExchange("127.0.0.1", drive.port(), 0, error);
  if (!exchange) {
    std::printf("  exchange: %s\n", error.c_str());
    return {};
  }
  return saveRun(*exchange, documents);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const fs::path documents = fs::temp_directory_path() / ("quillon_saverun_bench_" + std::to_string(::getpid()));

  const Layout layouts[] = {
      {"8 banks, 255 signals, \"Mz2\" depth 960", 6, 1, "RX-Brin", {15, 0, 0, 0, 0}, {255, 0, 0, 0, 0}, 8},
      {"1 bank, 255 signals, \"mzx\" depth 15552 (largest the block numbers allow)", 6, 2, "RX-Jarn",
       {243, 0, 0, 0, 0}, {255, 0, 0, 0, 0}, 1},
  };
  std::printf("peak RSS before any run: %.1f MB\n", peakRssKilobytes() / 1024.0);
  for (const Layout& layout : layouts) {
    platform_shell::DeleteFolder(documents, true);
    const RunFigures in = inProcess(layout, documents);
    std::printf("%s, in process:\n  %s, %llu exchanges, %.2f s, %.2f us per exchange, peak RSS %.1f MB\n",
                layout.name, in.completed ? "completed" : "FAILED", static_cast<unsigned long long>(in.exchanges),
                in.seconds, in.seconds * 1e6 / static_cast<double>(in.exchanges), peakRssKilobytes() / 1024.0);
    platform_shell::DeleteFolder(documents, true);
    const RunFigures udp = overLoopback(layout, documents);
    const double perExchange = udp.seconds * 1e6 / static_cast<double>(std::max<std::uint64_t>(udp.exchanges, 1));
    // The bare round trip of the same sizes (9-byte request and 61-byte reply, plus the 20-byte header each way).
    const double bare = bench::BareUdpRoundTripMicros(20000, 29, 81);
    std::printf("  over UDP against the simulated drive: %s, %llu exchanges, %.2f s, %.2f us per exchange\n"
                "  bare UDP ping-pong on 127.0.0.1: %.2f us per round trip; ratio %.2f; peak RSS %.1f MB\n",
                udp.completed ? "completed" : "FAILED", static_cast<unsigned long long>(udp.exchanges), udp.seconds,
                perExchange, bare, perExchange / bare, peakRssKilobytes() / 1024.0);
  }
  platform_shell::DeleteFolder(documents, true);
  return 0;
}
