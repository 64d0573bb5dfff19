#pragma once
// The live exchange as the program builds it, against the simulated drive on 127.0.0.1: a
// registration store of its own, the Velkor control created from it, configured and opened
// towards the drive. Shared by the exchange tests and the exchange benchmark.
#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>

#include "drivesim/simulated_drive.h"
#include "quillon/live_exchange/velkor_exchange.h"

namespace quillon_test {

// One QCoreApplication per process, made on first use.
void EnsureCoreApplication();

class LiveExchangeRig {
 public:
  explicit LiveExchangeRig(drivesim::Misbehaviour misbehaviour = {}, int tickIntervalMs = quillon::kTimeoutIntervalMs,
                           drivesim::DriveOptions options = {});
  ~LiveExchangeRig();
  LiveExchangeRig(const LiveExchangeRig&) = delete;
  LiveExchangeRig& operator=(const LiveExchangeRig&) = delete;

  // Empty when the drive answers and the exchange's port is open, otherwise why not.
  const std::string& error() const { return error_; }
  quillon::VelkorExchange& exchange() { return *exchange_; }
  quillon::ExchangeState& state() { return exchange_->state(); }
  drivesim::SimulatedDrive& drive() { return *drive_; }

  // Runs the event loop for about `ms`, so that ticks and late datagrams get their chance.
  void runEventsFor(int ms);
  // Runs the event loop until the drive has received `count` requests; false past a generous
  // bound (a safety net, not a timing check).
  bool awaitDriveRequests(std::size_t count, int boundMs = 10000);

 private:
  void makeRegistry();

  std::filesystem::path registry_;
  std::unique_ptr<drivesim::SimulatedDrive> drive_;
  std::unique_ptr<quillon::VelkorExchange> exchange_;
  std::string error_;
};

}  // namespace quillon_test
