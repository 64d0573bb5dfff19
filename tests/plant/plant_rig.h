#pragma once
// A small plant built of network namespaces: a hub namespace with a bridge (192.0.2.1/24, the
// tool's side) and one namespace per drive with a veth into the bridge (192.0.2.11, .12, ...).
// Broadcasts stay inside; nothing touches the machine's own network. Every namespace is removed
// when the rig goes, and leftovers of test processes that died are removed when a rig is made.
// It needs root and the `ip` command: tests skip without them, and fail under CI=true.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "drivesim/simulated_drive.h"

namespace quillon_test {

struct CommandResult {
  int status = -1;  // exit status; -1 when it could not start, was killed or ran out of time
  std::string output;  // output and error stream as one text
};
// Runs `argv` (argv[0] looked up in PATH) and waits at most `timeout`.
CommandResult RunCommand(const std::vector<std::string>& argv,
                         std::chrono::milliseconds timeout = std::chrono::seconds(20));

inline constexpr const char* kPlantToolAddress = "192.0.2.1";
inline constexpr const char* kPlantBroadcast = "192.0.2.255";

class PlantRig {
 public:
  explicit PlantRig(int driveCount);
  ~PlantRig();
  PlantRig(const PlantRig&) = delete;
  PlantRig& operator=(const PlantRig&) = delete;

  // Why the plant could not be built; empty when it stands.
  const std::string& error() const { return error_; }

  const std::string& hub() const { return hub_; }
  std::string driveNamespace(int drive) const { return names_.at(static_cast<std::size_t>(drive) + 1); }
  static std::string DriveAddress(int drive) { return "192.0.2." + std::to_string(11 + drive); }

  // Runs `work` on a thread inside namespace `ns`: the sockets it makes live there.
  static void InNamespace(const std::string& ns, const std::function<void()>& work);
  // A simulated drive listening on 0.0.0.0 (broadcasts too) at `port` in drive `drive`'s namespace.
  std::unique_ptr<drivesim::SimulatedDrive> startDrive(int drive, drivesim::DriveOptions options,
                                                       drivesim::Misbehaviour misbehaviour = {},
                                                       std::uint16_t port = drivesim::kDefaultPort);
  // Runs a program inside the hub namespace.
  CommandResult runInHub(std::vector<std::string> argv, std::chrono::milliseconds timeout = std::chrono::seconds(60));

 private:
  bool ip(const std::vector<std::string>& args);
  std::string hub_;
  std::vector<std::string> names_;  // the hub first, then the drives
  std::string error_;
};

bool RunningInCi();
// Why no plant can be built on this machine (not root, no `ip`); empty when one can.
std::string PlantRigUnavailable();

}  // namespace quillon_test

// Skips the test where no plant can be built, and fails it there under CI=true.
#define QUILLON_REQUIRE_PLANT(rig)                                        \
  do {                                                                    \
    if (!(rig).error().empty()) {                                         \
      if (quillon_test::RunningInCi()) FAIL() << (rig).error();           \
      GTEST_SKIP() << (rig).error();                                      \
    }                                                                     \
  } while (0)
