// --simulate: the simulated drive in this process, on 127.0.0.1 only.
#include "drivesim/simulated_drive.h"
#include "quillon/window/program_parts.h"

namespace quillon {
namespace {

class InProcessDrive : public SimulatedDriveRun {
 public:
  bool start(std::uint16_t port, std::string& error) {
    drivesim::DriveEndpoint endpoint;
    endpoint.address = drivesim::kDefaultAddress;
    endpoint.port = port;
    return drive_.start(endpoint, error);
  }
  std::uint16_t port() const override { return drive_.port(); }

 private:
  drivesim::SimulatedDrive drive_{drivesim::DriveProfile{drivesim::WithStoredDatabase()}};  // "DB Load" has one to get
};

}  // namespace

std::unique_ptr<SimulatedDriveRun> StartSimulatedDrive(std::uint16_t port, std::string& error) {
  auto drive = std::make_unique<InProcessDrive>();
  if (!drive->start(port, error)) return nullptr;
  return drive;
}

}  // namespace quillon
