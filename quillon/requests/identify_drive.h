#pragma once
// Who a drive is, asked at its own address, for a list of the drives on a network: its identity
// requests only, nothing that reads its data.
#include <string>

#include "quillon/requests/drive_identity.h"
#include "quillon/requests/exchange.h"

namespace quillon {

struct IdentifiedDrive {
  DriveAddress at;
  DriveIdentity identity;
  std::string note;  // empty, or why its identity stops short (a refusal, silence)
};

// Locks the exchange onto `drive.at` and asks "Q1", "Q2", "Q3", "Q4", "QA1"/"QA2". A refusal or
// silence ends only this drive's questions: the note says so, and the exchange is ready for the
// next drive. False when the user cancelled (the exchange stays aborted).
bool IdentifyDriveAt(Exchange& exchange, IdentifiedDrive& drive);

}  // namespace quillon
