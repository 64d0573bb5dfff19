#pragma once
// The identity and rating requests: "QT", "Q1" to "Q4", "QA1"/"QA2", "QU2". Text replies.
#include "quillon/requests/drive_identity.h"
#include "quillon/requests/exchange.h"

namespace quillon {

class IdentityRequests {
 public:
  IdentityRequests(Exchange& exchange, DriveIdentity& identity) : exchange_(exchange), identity_(identity) {}

  void ReadInterfaceVersion();  // "QT"
  void ReadDriveType();         // "Q1"
  void ReadDriveSoftVersion();  // "Q2"
  void ReadOrderNumber1();      // "Q3"
  void ReadOrderNumber2();      // "Q4"
  void ReadPanelName();         // "QA1" then "QA2"
  void ReadRatings();           // "QU2"

 private:
  // The reply from character 3 to the end, or nothing when the exchange failed.
  bool readTail(const char* command, std::string& tail);
  void readTailInto(const char* command, std::string& field);

  Exchange& exchange_;
  DriveIdentity& identity_;
};

// The interface version of a "QT" reply held in `state.ReplyText` into `identity`; a malformed
// reply aborts through `state` and changes nothing.
void DecodeInterfaceVersion(ExchangeState& state, DriveIdentity& identity);

// A count of tenths as text with one decimal: -10 -> "-1.0", 200 -> "20.0".
std::string TenthsText(std::int64_t tenths);

}  // namespace quillon
