// A whole save run, as the program runs it (records, conversion with the drive database,
// archive), against the simulated drive on 127.0.0.1 answering each request after 1 ms, as a
// real drive does. The wall time is set against (number of exchanges) x (latency + the bare
// UDP round trip measured in the same run): what the program adds to the drive's time. The
// bare round trip is timed with its answering side holding each reply for the same latency
// (that time left out): after a millisecond of waiting, a round trip costs more than in a busy
// ping-pong, for any program; the busy one is shown beside it.
//
//   latency_bench [--trials N] [--latency-ms N] [--keep FOLDER]
//
// --keep runs in FOLDER and leaves the last run's save there, to compare outputs.
#include <unistd.h>

#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/shell/folders.h"
#include "save_run_rig.h"
#include "udp_ping_pong.h"
#include "velkor/framing/framing.h"

namespace {
namespace fs = std::filesystem;

constexpr int kBareRounds = 5000;
constexpr int kBareRoundsWithLatency = 500;
// A drive of the 32-bit wide request set, three faults recorded, 46 traced signals of up to
// 960 samples: a save of a few thousand exchanges.
const bench::Layout kLayout{"RX-Fenn, \"mzx\", 3 banks of 46 signals, up to 960 samples",
                            6, 2, "RX-Fenn", {15, 4, 2, 0, 1}, {32, 8, 4, 0, 2}, 3};
// The bulk of the exchanges: 9-byte sample requests and 245-byte replies.
constexpr std::size_t kRequestBytes = velkor::framing::kHeaderSize + 9;
constexpr std::size_t kReplyBytes = velkor::framing::kHeaderSize + 1 + 61 * 4;

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const bench::OwnRegistrationStore registrations;
  int trials = 3;
  int latencyMs = 1;
  std::string keep;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--trials") && i + 1 < argc) trials = std::max(1, std::atoi(argv[++i]));
    else if (!std::strcmp(argv[i], "--latency-ms") && i + 1 < argc) latencyMs = std::max(0, std::atoi(argv[++i]));
    else if (!std::strcmp(argv[i], "--keep") && i + 1 < argc) keep = argv[++i];
    else {
      std::fprintf(stderr, "usage: latency_bench [--trials N] [--latency-ms N] [--keep FOLDER]\n");
      return 2;
    }
  }
  const fs::path documents =
      keep.empty() ? fs::temp_directory_path() / ("quillon_latency_bench_" + std::to_string(::getpid())) : fs::path(keep);
  drivesim::Misbehaviour realistic;
  realistic.delayMs = latencyMs;
  const double latency = latencyMs / 1000.0;

  std::printf("whole save run against the simulated drive answering after %d ms (%s), %d trials;\n"
              "shares of exchanges x (latency + bare round trip):\n",
              latencyMs, kLayout.name, trials);
  // Per trial, as fractions of exchanges x (latency + bare round trip).
  std::vector<double> whole, inExchanges, driveLate, exchangeOwn, outside, outsideSeconds;
  // Per step (in run order), its time outside the exchanges, as the same fractions and in seconds.
  std::vector<const char*> stepCaptions;
  std::vector<std::vector<double>> stepOutside, stepOutsideSeconds;
  for (int t = 0; t < trials; ++t) {
    const bench::RunFigures run = bench::SaveRunOverLoopback(kLayout, documents, bench::RunScope::Whole, realistic);
    if (!run.completed) {
      std::printf("  FAILED: %s\n", run.problem.c_str());
      if (keep.empty()) platform::shell::DeleteFolder(documents, true);
      return 1;
    }
    const double busyBare = bench::BareUdpRoundTripMicros(kBareRounds, kRequestBytes, kReplyBytes) / 1e6;
    const double bare = bench::BareUdpRoundTripMicros(kBareRoundsWithLatency, kRequestBytes, kReplyBytes,
                                                      bench::ClientWait::InRead, std::chrono::milliseconds(latencyMs)) /
                        1e6;
    const double n = static_cast<double>(run.exchanges);
    const double baseline = n * (latency + bare);
    whole.push_back(run.seconds / baseline - 1);
    inExchanges.push_back(run.exchangeSeconds / baseline - 1);
    driveLate.push_back((run.driveDelaySeconds - n * latency) / baseline);
    exchangeOwn.push_back(inExchanges.back() - driveLate.back());
    outside.push_back((run.seconds - run.exchangeSeconds) / baseline);
    outsideSeconds.push_back(run.seconds - run.exchangeSeconds);
    for (std::size_t i = 0; i < run.steps.size(); ++i) {
      if (i == stepCaptions.size()) {
        stepCaptions.push_back(run.steps[i].caption);
        stepOutside.emplace_back();
        stepOutsideSeconds.emplace_back();
      }
      stepOutside[i].push_back(run.steps[i].outsideSeconds / baseline);
      stepOutsideSeconds[i].push_back(run.steps[i].outsideSeconds);
    }
    std::printf("  trial %d: %llu exchanges in %.3f s against %llu x (%d ms + %.1f us) = %.3f s: the run adds %.2f %%"
                " (busy bare round trip %.1f us)\n",
                t + 1, static_cast<unsigned long long>(run.exchanges), run.seconds,
                static_cast<unsigned long long>(run.exchanges), latencyMs, bare * 1e6, baseline, 100 * whole.back(),
                busyBare * 1e6);
  }
  auto row = [](const char* what, const std::vector<double>& values, const std::vector<double>& seconds = {}) {
    const bench::Spread spread = bench::SpreadOf(values);
    std::printf("  %-62s %7.2f %%  %7.2f %%", what, 100 * spread.quickest, 100 * spread.median);
    if (!seconds.empty()) std::printf("  %8.1f ms", 1000 * bench::SpreadOf(seconds).median);
    std::printf("\n");
  };
  std::printf("  %-62s %9s  %9s  %11s\n", "", "quickest", "median", "median time");
  row("the whole run adds (target < 1 %)", whole);
  row("  inside the exchanges (send to end of wait)", inExchanges);
  row("    the simulated drive's lateness beyond its latency", driveLate);
  row("    the program's exchange, beyond the drive's own time", exchangeOwn);
  row("  outside the exchanges (decoding, files, conversion, archive)", outside, outsideSeconds);
  for (std::size_t i = 0; i < stepCaptions.size(); ++i)
    row(("    in \"" + std::string(stepCaptions[i]) + "\"").c_str(), stepOutside[i], stepOutsideSeconds[i]);
  if (keep.empty()) platform::shell::DeleteFolder(documents, true);
  return 0;
}
