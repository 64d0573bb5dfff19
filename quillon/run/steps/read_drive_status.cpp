// The drive clock, the sequence output words and the PR codes, and the drive status file.
#include "quillon/output/drive_status_file.h"
#include "quillon/requests/status_requests.h"
#include "quillon/run/program_version.h"
#include "quillon/run/save_sequence.h"

namespace quillon {

StepState ReadDriveStatus(RunContext& run) {
  StatusRequests requests(run.exchange, run.status);
  requests.ReadDriveClock();
  requests.ReadSseqOutputs();
  requests.ReadPrCodes();
  run.reportFailure(WriteDriveStatusFile(run.folders.workingFolder(), run.SafePanelName, run.status,
                                         run.identity.InterfaceVersionText, kProgramVersion, run.codePage()));
  return run.finished();
}

}  // namespace quillon
