// Connect: the interface version chooses the request set, the drive type the memory ranges. A
// broadcast is answered by every drive on the network: the run goes on only with the one drive
// that answered, locked onto its address, so that no other sender's datagram is ever taken.
#include "quillon/requests/identify_drive.h"
#include "quillon/requests/identity_requests.h"
#include "quillon/requests/memory_ranges.h"
#include "quillon/run/save_sequence.h"

namespace quillon {
namespace {

std::string driveLine(const IdentifiedDrive& drive) {
  std::string line = "  " + drive.at.address + "  " + std::string(trimmedDriveType(drive.identity.DriveType)) +
                     "  panel name \"" + std::string(trimmedDriveType(drive.identity.PanelName)) + "\"";
  if (!drive.note.empty()) line += " (" + drive.note + ")";
  return line;
}

std::string severalDrivesText(const std::vector<IdentifiedDrive>& drives) {
  std::string text = std::to_string(drives.size()) +
                     " drives answered the broadcast, so the run reads nothing and saves nothing:\r\n";
  for (const IdentifiedDrive& drive : drives) text += driveLine(drive) + "\r\n";
  return text + "Choose one with --drive ADDRESS (for example --drive " + drives.front().at.address +
         "), or save them all with --all.";
}

// After the broadcast "QT": one drive answered and is taken, or several did and are only named.
void keepToTheOneDriveThatAnswered(RunContext& run) {
  const std::vector<DriveAddress> answered = run.exchange.answerersOfLastRequest(run.broadcastWait);
  if (run.aborted() || answered.empty()) return;
  if (answered.size() == 1) {
    if (const std::string why = run.exchange.lockOnto(answered.front().address); !why.empty()) run.fail(why);
    return;
  }
  std::vector<IdentifiedDrive> drives;
  for (const DriveAddress& at : answered) {
    IdentifiedDrive& drive = drives.emplace_back();
    drive.at = at;
    if (!IdentifyDriveAt(run.exchange, drive)) return;  // cancelled
  }
  run.fail(severalDrivesText(drives));
  run.answeringDrives = std::move(drives);
}

}  // namespace

StepState ConnectToDrive(RunContext& run) {
  IdentityRequests requests(run.exchange, run.identity);
  requests.ReadInterfaceVersion();
  if (!run.aborted() && run.exchange.broadcasting()) keepToTheOneDriveThatAnswered(run);
  requests.ReadDriveType();
  run.memory.ranges = chooseMemoryRanges(run.identity.InterfaceLevel, run.identity.DriveType);
  if (run.aborted()) return StepState::Failed;
  run.events.emit(DriveIdentified{run.identity.DriveType});
  return StepState::Done;
}

}  // namespace quillon
