// --simulate: the simulated drive in this process, on 127.0.0.1 only.
#include "drivesim/simulated_drive.h"
#include "quillon/window/program_parts.h"

namespace quillon {
namespace {

drivesim::DriveOptions simulatedDriveOptions(const std::optional<std::string>& driveType) {
  drivesim::DriveOptions options = drivesim::WithStoredDatabase();  // "DB Load" has one to get
  if (driveType) options.driveType = *driveType;
  return options;
}

class InProcessDrive : public SimulatedDriveRun {
 public:
  explicit InProcessDrive(const std::optional<std::string>& driveType)
      : drive_{drivesim::DriveProfile{simulatedDriveOptions(driveType)}} {}
  bool start(std::uint16_t port, std::string& error) {
    drivesim::DriveEndpoint endpoint;
    endpoint.address = drivesim::kDefaultAddress;
    endpoint.port = port;
    return drive_.start(endpoint, error);
  }
  std::uint16_t port() const override { return drive_.port(); }

 private:
  drivesim::SimulatedDrive drive_;
};

}  // namespace

std::unique_ptr<SimulatedDriveRun> StartSimulatedDrive(std::uint16_t port, const std::optional<std::string>& driveType,
                                                       std::string& error) {
  auto drive = std::make_unique<InProcessDrive>(driveType);
  if (!drive->start(port, error)) return nullptr;
  return drive;
}

}  // namespace quillon
