// Connect: the interface version chooses the request set, the drive type the memory ranges.
#include "quillon/requests/identity_requests.h"
#include "quillon/requests/memory_ranges.h"
#include "quillon/run/save_sequence.h"

namespace quillon {

StepState ConnectToDrive(RunContext& run) {
  IdentityRequests requests(run.exchange, run.identity);
  requests.ReadInterfaceVersion();
  requests.ReadDriveType();
  run.memory.ranges = chooseMemoryRanges(run.identity.InterfaceLevel, run.identity.DriveType);
  if (run.aborted()) return StepState::Failed;
  run.events.emit(DriveIdentified{run.identity.DriveType});
  return StepState::Done;
}

}  // namespace quillon
