#pragma once
// The request/reply exchange with the drive: one request outstanding at a time, a text or
// binary reply, refusal (NAK), re-send on silence and the abort rule.
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/shell/codepage.h"

namespace quillon {

// Shared by the request routines, the receive handler, the timeout timer and Cancel.
struct ExchangeState {
  std::vector<std::uint8_t> RequestBuf;  // last request written to the control
  // Last text reply as the control's `Input` gives it: the payload read in the drive's code
  // page, character for character, so that its ANSI form is the payload's bytes exactly (a
  // byte that is no character is held as one, see platform::shell::CodePage). Positions count characters.
  std::string ReplyText;
  std::vector<std::uint8_t> ReplyBytes;  // last binary reply
  bool ReplyFlag = false;
  bool AbortFlag = false;
  bool BinaryReplyFlag = false;
  std::int16_t RetryCount = 0;
  std::string ErrorText;

  // Ends the run with a message, unless an earlier failure already gave one.
  void abortWith(std::string message);
};

enum class ReplyForm { Text, Binary };

inline constexpr int kSendsBeforeTimeout = 10;  // the request and nine re-sends
inline constexpr std::uint16_t kDrivePort = 22359;  // where a drive answers

// "Received \"NAK\"" CR LF "Tool Error Code = " + code in upper-case hex without leading
// zeros + "h". A one-byte refusal has no code to show.
std::string NakMessage(std::optional<std::uint8_t> toolErrorCode);
// The refusal as the run ends with it: the NAK message, then CR LF and the request with where
// it went: Request "MX202" to 127.0.0.1:22359.
std::string RefusalText(std::optional<std::uint8_t> toolErrorCode, std::string_view request,
                        std::string_view destination);
// Timeout: no answer from 127.0.0.1:22359 to "Q2" after 10 sends, then CR LF and what to
// check: the address, power and cable, the UDP port reachable through any firewall.
std::string TimeoutText(std::string_view destination, std::string_view request, int sends);

// Two upper-case hexadecimal digits, zero-padded: 5 -> "05", 26 -> "1A".
std::string HexByteText(std::uint8_t value);

// The value of hexadecimal digits (either case), most significant first; nullopt for an empty
// text, more than 16 digits or any other character.
std::optional<std::uint64_t> HexDigitsValue(std::string_view digits);

// Where a drive is reached or answered from: its address and UDP port.
struct DriveAddress {
  std::string address;  // dotted IPv4, or a name where the user gave one
  std::uint16_t port = 0;
  bool operator==(const DriveAddress&) const = default;
  std::string text() const { return address + ":" + std::to_string(port); }
};

// One exchange. The live implementation sends through the control and waits in the event
// loop; tests may substitute a scripted one.
class Exchange {
 public:
  explicit Exchange(platform::shell::CodePage codePage = {}) : codePage_(std::move(codePage)) {}
  virtual ~Exchange() = default;
  ExchangeState& state() { return state_; }
  const ExchangeState& state() const { return state_; }

  // Sends `request` (command letters then arguments) and waits for its reply.
  // Returns true with the reply in state().ReplyText / ReplyBytes and ReplyFlag cleared;
  // false when the run is (or was already) aborted: nothing was decoded, nothing sent
  // after an earlier abort.
  virtual bool transact(std::string_view request, ReplyForm form) = 0;

  // The ANSI code page of the drive's texts: the control converts in it, and every text the
  // drive sent goes into the files in it.
  const platform::shell::CodePage& codePage() const { return codePage_; }

  // Number of datagrams handed to the control, re-sends included (for benchmarks).
  std::uint64_t sendCount() const { return sendCount_; }

  // Told of each re-send of the waiting request (the k-th of at most `of`), and when a request
  // that was sent again got its answer.
  using ResendListener = std::function<void(int resend, int of, std::string_view request)>;
  using AnsweredListener = std::function<void(std::string_view request)>;
  void setResendListener(ResendListener listener, AnsweredListener answered = {}) {
    resendListener_ = std::move(listener);
    answeredListener_ = std::move(answered);
  }

  // Where the requests go, as the messages name it ("127.0.0.1:22359"); "the drive" when unknown.
  const std::string& destination() const { return destination_; }

  // True while requests go to the broadcast address, where every drive on the network may
  // answer. An exchange with one drive only (the scripted one) never broadcasts.
  virtual bool broadcasting() const { return false; }
  // After a broadcast request was answered: listens on for `window` and gives every sender that
  // answered it, the one whose answer was taken first. Later answers are never taken as replies.
  virtual std::vector<DriveAddress> answerersOfLastRequest(std::chrono::milliseconds window) {
    (void)window;
    return {};
  }
  // Where the next run's requests go: a drive's address or host name, or (empty) the broadcast
  // address. Empty, or why not.
  virtual std::string aimAt(const std::string& destination) {
    (void)destination;
    return {};
  }
  // From now on requests go to `address` only and only its datagrams are taken (source filter).
  // Empty, or why not.
  virtual std::string lockOnto(const std::string& address) {
    (void)address;
    return {};
  }

 protected:
  std::string_view pendingRequest() const {
    return {reinterpret_cast<const char*>(state_.RequestBuf.data()), state_.RequestBuf.size()};
  }
  void reportResend(int resend, int of) {
    if (resendListener_) resendListener_(resend, of, pendingRequest());
  }
  void reportAnswered() {
    if (answeredListener_) answeredListener_(pendingRequest());
  }

  ExchangeState state_;
  platform::shell::CodePage codePage_;
  std::uint64_t sendCount_ = 0;
  std::string destination_ = "the drive";

 private:
  ResendListener resendListener_;
  AnsweredListener answeredListener_;
};

}  // namespace quillon
