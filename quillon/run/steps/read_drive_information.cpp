// The drive's software version, order number, panel name and ratings; the panel name names
// every file of the run.
#include "quillon/requests/identity_requests.h"
#include "quillon/run/save_names.h"
#include "quillon/run/save_sequence.h"

namespace quillon {

StepState ReadDriveInformation(RunContext& run) {
  IdentityRequests requests(run.exchange, run.identity);
  requests.ReadDriveSoftVersion();
  requests.ReadOrderNumber1();
  requests.ReadOrderNumber2();
  requests.ReadPanelName();
  requests.ReadRatings();
  run.SafePanelName = SafePanelNameOf(run.identity.PanelName);
  return run.finished();
}

}  // namespace quillon
