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

#include "platform/shell/folders.h"
#include "quillon/window/main_window.h"
#include "quillon/window/program_parts.h"
#include "replying_drive.h"
#include "udp_ping_pong.h"

#include "drivesim/simulated_drive.h"

namespace {
namespace fs = std::filesystem;
using namespace quillon;

class Quiet : public platform_shell::MessageBoxes {
 public:
  void showMessage(const std::string& text) override { std::printf("  message: %s\n", text.c_str()); }
  bool askYesNo(const std::string&) override { return false; }
};

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

RunFigures saveRun(Exchange& exchange, const fs::path& documents) {
  Quiet quiet;
  WindowServices services;
  services.messages = &quiet;
  services.now = [] { return std::tm{}; };
  services.unlha = [](const std::string&) { return 0; };  // the archive is measured on its own
  std::unique_ptr<MainWindow> window;
  ProgressBar bar{[&] { return window->controls.shpBox.width(); }, [&] { return window->controls.shpScale.width(); },
                  [&](int width) { window->controls.shpScale.setWidth(width); }};
  auto steps = MakeRequestSteps(exchange, bar, [&] {
    return DriveStepsSettings{window->run.AppFolder, window->run.CommandLine, window->run.SafePanelName,
                              documents / "none", documents / "none"};
  });
  window = std::make_unique<MainWindow>(exchange, *steps, services);
  window->startUp(documents, "");
  const auto start = std::chrono::steady_clock::now();
  window->clickStart();
  RunFigures figures;
  figures.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  figures.exchanges = exchange.sendCount();
  figures.completed = window->lastOutcome() == RunOutcome::Completed;
  return figures;
}

void configure(quillon_test::ReplyModel& m, const Layout& layout) {
  m.setLevel(layout.level, layout.minor);
  m.driveType = layout.driveType;
  m.depth = layout.depth;
  m.signalCounts = layout.signalCounts;
  for (int b = 0; b < 8; ++b) m.recorded[b] = b < layout.recordedBanks;
}

// The same run over the Velkor control and UDP against the simulated drive on 127.0.0.1.
RunFigures overLoopback(const Layout& layout, const fs::path& documents) {
  drivesim::DriveOptions options;
  options.driveType = layout.driveType;
  options.interfaceLevel = layout.level;
  options.interfaceMinor = layout.minor;
  for (int g = 0; g < 5; ++g) {
    options.groupDepth[g] = static_cast<std::uint8_t>(layout.depth[g]);
    options.groupSignals[g] = static_cast<std::uint8_t>(layout.signalCounts[g]);
  }
  options.recordedBanks.clear();
  for (int b = 0; b < layout.recordedBanks; ++b) options.recordedBanks.push_back(b);
  drivesim::SimulatedDrive drive{drivesim::DriveProfile{options}};
  std::string error;
  if (!drive.start({}, error)) {
    std::printf("  simulated drive: %s\n", error.c_str());
    return {};
  }
  std::unique_ptr<Exchange> exchange = OpenLiveExchange("127.0.0.1", drive.port(), 0, error);
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
    quillon_test::ReplyingDrive drive;
    configure(drive.model(), layout);
    platform_shell::DeleteFolder(documents, true);
    const RunFigures in = saveRun(drive, documents);
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
