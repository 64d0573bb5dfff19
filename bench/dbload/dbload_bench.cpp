// Transfer rate of the drive database download ("FB", then one "FR" per 62-byte block) against
// the simulated drive on 127.0.0.1, beside the bare UDP round trip of the same datagram sizes;
// in process (no socket) as well. With the program's parts in the tree, also over the Velkor
// control.
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "drivesim/simulated_drive.h"
#include "quillon/requests/drive_database_download.h"
#include "tests/requests/download_support.h"
#include "tests/requests/loopback_exchange.h"
#include "udp_ping_pong.h"

#include <QCoreApplication>

#include "quillon/live_exchange/velkor_exchange.h"
#include "save_run_rig.h"

namespace {

using namespace quillon;
using quillon_test::Bytes;

struct Figures {
  bool whole = false;
  std::uint64_t exchanges = 0;
  double seconds = 0;
};

// The transfer alone (no extraction): what the routine receives of `archive` over `exchange`.
Figures transfer(Exchange& exchange, const Bytes& archive) {
  ProgressBar bar;
  DriveDatabaseDownload download(exchange, bar, {}, nullptr, {});
  const auto begin = std::chrono::steady_clock::now();
  const auto received = download.ReceiveArchiveBytes();
  Figures figures;
  figures.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  figures.whole = received && *received == archive;
  figures.exchanges = exchange.sendCount();
  return figures;
}

void print(const char* how, const Bytes& archive, const Figures& f) {
  const double perExchange = f.seconds * 1e6 / static_cast<double>(f.exchanges ? f.exchanges : 1);
  std::printf("  %-34s %s, %llu exchanges, %.3f s, %.1f us per exchange, %.0f bytes/s\n", how,
              f.whole ? "whole" : "NOT WHOLE", static_cast<unsigned long long>(f.exchanges), f.seconds, perExchange,
              static_cast<double>(archive.size()) / (f.seconds > 0 ? f.seconds : 1e-9));
}

Figures overSimulatedDrive(const Bytes& archive, const std::function<std::unique_ptr<Exchange>(std::uint16_t)>& open) {
  drivesim::DriveOptions options;
  options.archive = archive;
  drivesim::SimulatedDrive drive{drivesim::DriveProfile(options)};
  std::string error;
  if (!drive.start({}, error)) {
    std::printf("  simulated drive: %s\n", error.c_str());
    return {};
  }
  std::unique_ptr<Exchange> exchange = open(drive.port());
  if (!exchange) return {};
  return transfer(*exchange, archive);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const bench::OwnRegistrationStore registrations;  // this build's control module
  // The request "FR" + 4 digits and the 64-byte block reply, each behind the 20-byte header.
  const double bare = bench::BareUdpRoundTripMicros(20000, 26, 84);
  std::printf("bare UDP ping-pong on 127.0.0.1 (26-byte request, 84-byte reply): %.1f us per round trip,"
              " at most %.0f bytes/s at 62 bytes per round trip\n",
              bare, 62.0 / (bare * 1e-6));

  const Bytes stored = drivesim::StoredDatabaseArchive();
  const Bytes large = drivesim::StoredLzhArchive({{"large.bin", quillon_test::PatternBytes(1 << 20, 1)}});
  for (const Bytes* archive : {&stored, &large}) {
    std::printf("%s archive, %zu bytes, %lld blocks:\n", archive == &stored ? "the simulated drive's stored" : "a large",
                archive->size(), static_cast<long long>(LastArchiveBlock(static_cast<std::uint32_t>(archive->size())) + 1));

    drivesim::DriveOptions options;
    options.archive = *archive;
    drivesim::CommandModel model{drivesim::DriveProfile(options)};
    quillon_test::ScriptedExchange scripted;
    scripted.responder = quillon_test::AnswersOf(model);
    print("in process (command model):", *archive, transfer(scripted, *archive));

    print("UDP, plain framed exchange:", *archive, overSimulatedDrive(*archive, [](std::uint16_t port) {
            return std::make_unique<quillon_test::LoopbackExchange>(port);
          }));
    print("UDP, over the Velkor control:", *archive, overSimulatedDrive(*archive, [](std::uint16_t port) {
            std::string error;
            std::unique_ptr<Exchange> exchange = OpenVelkorExchange("127.0.0.1", port, 0, platform::shell::CodePage(), error);
            if (!exchange) std::printf("  exchange: %s\n", error.c_str());
            return exchange;
          }));
  }
  return 0;
}
