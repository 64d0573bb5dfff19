#include "quillon/requests/identify_drive.h"

#include "quillon/requests/identity_requests.h"

namespace quillon {

bool IdentifyDriveAt(Exchange& exchange, IdentifiedDrive& drive) {
  ExchangeState& s = exchange.state();
  if (s.AbortFlag) return false;
  if (const std::string why = exchange.lockOnto(drive.at.address); !why.empty()) {
    drive.note = why;
    return true;
  }
  IdentityRequests requests(exchange, drive.identity);
  requests.ReadDriveType();
  requests.ReadDriveSoftVersion();
  requests.ReadOrderNumber1();
  requests.ReadOrderNumber2();
  requests.ReadPanelName();
  if (!s.AbortFlag) return true;
  if (s.ErrorText.empty()) return false;  // Cancel
  drive.note = s.ErrorText.substr(0, s.ErrorText.find('\r'));
  s.AbortFlag = false;
  s.ReplyFlag = false;
  s.RetryCount = 0;
  s.ErrorText.clear();
  return true;
}

}  // namespace quillon
