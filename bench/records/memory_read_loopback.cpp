// The largest setting-parameter read over the Velkor control and UDP against the simulated
// drive on 127.0.0.1: exchanges (datagrams handed to the control, re-sends included) and time.
#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "drivesim/simulated_drive.h"
#include "quillon/requests/memory_requests.h"
#include "quillon/live_exchange/velkor_exchange.h"
#include "bench/saverun/save_run_rig.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const bench::OwnRegistrationStore registrations;  // this build's control module
  drivesim::DriveOptions options;
  options.driveType = "RX-Brin";
  options.interfaceLevel = 6;
  drivesim::SimulatedDrive drive{drivesim::DriveProfile{options}};
  std::string error;
  if (!drive.start({}, error)) {
    std::printf("simulated drive: %s\n", error.c_str());
    return 1;
  }
  std::unique_ptr<quillon::Exchange> exchange =
      quillon::OpenVelkorExchange("127.0.0.1", drive.port(), 0, platform::shell::CodePage(), error);
  if (!exchange) {
    std::printf("exchange: %s\n", error.c_str());
    return 1;
  }
  quillon::MemoryTables tables;
  tables.ranges = quillon::chooseMemoryRanges(options.interfaceLevel, options.driveType);
  quillon::resizeSetpointWords(tables);
  const auto begin = std::chrono::steady_clock::now();
  quillon::MemoryRequests(*exchange, tables).ReadSetpointMemory32();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  const auto& state = exchange->state();
  std::printf("largest area over UDP loopback: %s, %llu exchanges, %zu requests at the drive, %.3f s, %.1f us per exchange\n",
              state.AbortFlag ? ("ended: " + state.ErrorText).c_str() : "completed",
              static_cast<unsigned long long>(exchange->sendCount()), drive.requestCount(), seconds,
              seconds * 1e6 / static_cast<double>(exchange->sendCount() ? exchange->sendCount() : 1));
  return 0;
}
