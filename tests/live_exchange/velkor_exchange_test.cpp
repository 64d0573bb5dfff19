// One request at a time through the Velkor control against the simulated drive on 127.0.0.1,
// with a short timer tick: what the reply handling and the timer make of replies, refusals,
// silence and Cancel, and how a malformed reply ends the run.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "quillon/requests/identity_requests.h"
#include "quillon/requests/reply_decoder.h"
#include "tests/live_exchange/live_exchange_rig.h"
#include "tests/velkor/host_support.h"

using quillon_test::LiveExchangeRig;
using quillon::ReplyForm;
using Requests = std::vector<std::vector<std::uint8_t>>;

namespace {

constexpr int kShortTickMs = 20;
// Long enough that a reply on loopback is in before the next tick even on a busy machine:
// for the cases that count the datagrams sent.
constexpr int kResendTickMs = 100;

std::vector<std::uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

// After the run has ended: some ticks' worth of event loop, and no datagram may leave.
void expectNothingMoreSent(LiveExchangeRig& rig, int tickMs) {
  const std::size_t received = rig.drive().requestCount();
  const std::uint64_t sent = rig.exchange().sendCount();
  rig.runEventsFor(5 * tickMs);
  EXPECT_FALSE(rig.exchange().timerEnabled());
  EXPECT_FALSE(rig.exchange().transact("QT", ReplyForm::Text));
  rig.runEventsFor(2 * tickMs);
  EXPECT_EQ(rig.exchange().sendCount(), sent);
  EXPECT_EQ(rig.drive().requestCount(), received);
}

// Collects what the exchange tells: each re-send ("MX1 2/9") and the answer that ends them.
void recordResends(LiveExchangeRig& rig, std::vector<std::string>& told) {
  rig.exchange().setResendListener(
      [&told](int resend, int of, std::string_view request) {
        told.push_back(std::string(request) + " " + std::to_string(resend) + "/" + std::to_string(of));
      },
      [&told](std::string_view request) { told.push_back(std::string(request) + " answered"); });
}

std::string timeoutText(LiveExchangeRig& rig, const std::string& request) {
  const std::string port = std::to_string(rig.drive().port());
  return "Timeout: no answer from 127.0.0.1:" + port + " to \"" + request +
         "\" after 10 sends\r\nCheck that 127.0.0.1 is the drive's address (--drive), that the drive is powered and "
         "its network cable plugged in, and that UDP port " + port + " on it can be reached from here (a firewall "
         "may block it).";
}

}  // namespace

TEST(LiveExchange, TextAndBinaryRepliesArriveAndAreDecoded) {
  LiveExchangeRig rig({}, kResendTickMs);
  ASSERT_EQ(rig.error(), "");
  const drivesim::DriveProfile& drive = rig.drive().profile();
  quillon::ExchangeState& s = rig.state();

  ASSERT_TRUE(rig.exchange().transact("MX1", ReplyForm::Text));
  EXPECT_FALSE(s.ReplyFlag);
  EXPECT_FALSE(s.BinaryReplyFlag);
  EXPECT_FALSE(rig.exchange().timerEnabled());
  quillon::TextReplyDecoder layout(s, "MX1");
  for (int g = 1; g <= drivesim::kGroupCount; ++g) {
    EXPECT_EQ(layout.hex8(2 * g), drive.groupDepth(g)) << g;
    EXPECT_EQ(layout.hex8(2 * g + 10), drive.groupSignals(g)) << g;
  }
  EXPECT_TRUE(layout.ok());

  // Arguments as two upper-case digits; the payload goes out as it is, without terminator.
  const std::string faultList = "MY51" + quillon::HexByteText(2);
  ASSERT_TRUE(rig.exchange().transact(faultList, ReplyForm::Binary));
  EXPECT_TRUE(s.BinaryReplyFlag);
  EXPECT_EQ(s.RequestBuf, bytesOf("MY5102"));
  ASSERT_EQ(s.ReplyBytes.size(), 63u);
  quillon::BinaryReplyDecoder faults(s, faultList);
  for (int k = 1; k <= 15; ++k) {
    EXPECT_EQ(faults.s16(2 * k + 1), drive.faultCode(2, k)) << k;
    EXPECT_EQ(faults.s16(2 * k + 31), drive.faultSample(2, k)) << k;
  }
  EXPECT_TRUE(faults.ok());

  ASSERT_TRUE(rig.exchange().transact("MY1" + quillon::HexByteText(0), ReplyForm::Text));
  quillon::TextReplyDecoder bankTime(s, "MY1");
  EXPECT_EQ(bankTime.hex16(24), drive.bankTime(0).year);
  EXPECT_TRUE(bankTime.ok());

  EXPECT_FALSE(s.AbortFlag);
  EXPECT_EQ(s.ErrorText, "");
  EXPECT_EQ(s.RetryCount, 0);
  EXPECT_EQ(rig.exchange().sendCount(), 3u);
  ASSERT_TRUE(rig.awaitDriveRequests(3));
  EXPECT_EQ(rig.drive().requests(),
            (Requests{bytesOf("MX1"), bytesOf("MY5102"), bytesOf("MY100")}));
}

TEST(LiveExchange, RefusalEndsTheRunWithTheToolErrorCodeAndNothingIsSentAfterIt) {
  const struct {
    std::string refused;  // the last request, which the drive refuses
    std::uint8_t code;
    const char* codeText;
    ReplyForm form;
    drivesim::DriveOptions options;
  } cases[] = {
      {"MY5102", 31, "1Fh", ReplyForm::Binary, {}},
      {"MX1", 3, "3h", ReplyForm::Text, {}},
      // The code is the second byte, also when it is half of a double-byte character.
      {"Q1", 0x82, "82h", ReplyForm::Text, drivesim::JapaneseDrive()},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.refused);
    drivesim::Misbehaviour refuse;
    refuse.nakCommand = k.refused.substr(0, 4);
    refuse.nakCode = k.code;
    LiveExchangeRig rig(refuse, kResendTickMs, k.options);
    ASSERT_EQ(rig.error(), "");
    quillon::ExchangeState& s = rig.state();
    const bool answeredFirst = k.refused != "MX1" && k.refused != "Q1";
    if (answeredFirst) {
      ASSERT_TRUE(rig.exchange().transact("MX1", ReplyForm::Text));
    }
    EXPECT_FALSE(rig.exchange().transact(k.refused, k.form));
    EXPECT_TRUE(s.AbortFlag);
    EXPECT_FALSE(s.ReplyFlag);
    if (k.form == ReplyForm::Binary) {
      EXPECT_EQ(s.ReplyBytes, (std::vector<std::uint8_t>{21, k.code}));
    }
    // The refusal's own text first; then the request and where it went.
    EXPECT_EQ(s.ErrorText, "Received \"NAK\"\r\nTool Error Code = " + std::string(k.codeText) + "\r\nRequest \"" +
                               k.refused + "\" to 127.0.0.1:" + std::to_string(rig.drive().port()));
    EXPECT_EQ(s.RetryCount, 0);
    expectNothingMoreSent(rig, kShortTickMs);
    EXPECT_EQ(rig.drive().requestCount(), answeredFirst ? 2u : 1u);
  }
}

TEST(LiveExchange, SilenceIsResentAndTheTenthSilentTickEndsTheRunWithTimeout) {
  {
    drivesim::Misbehaviour late;
    late.silentFirst = 3;
    LiveExchangeRig rig(late, kResendTickMs);
    ASSERT_EQ(rig.error(), "");
    quillon::ExchangeState& s = rig.state();
    std::vector<std::string> told;
    recordResends(rig, told);
    ASSERT_TRUE(rig.exchange().transact("MX1", ReplyForm::Text));
    EXPECT_EQ(s.RetryCount, 0);
    EXPECT_FALSE(s.AbortFlag);
    EXPECT_EQ(rig.exchange().sendCount(), 4u);  // the request and three re-sends
    EXPECT_EQ(told, (std::vector<std::string>{"MX1 1/9", "MX1 2/9", "MX1 3/9", "MX1 answered"}));
    ASSERT_TRUE(rig.awaitDriveRequests(4));
    EXPECT_EQ(rig.drive().requests(), Requests(4, bytesOf("MX1")));
    quillon::TextReplyDecoder layout(s, "MX1");
    EXPECT_EQ(layout.hex8(2), rig.drive().profile().groupDepth(1));
    EXPECT_TRUE(layout.ok());
    // The run goes on: the next request is answered at once.
    ASSERT_TRUE(rig.exchange().transact("QT", ReplyForm::Text));
    EXPECT_EQ(rig.exchange().sendCount(), 5u);
    EXPECT_EQ(told.size(), 4u) << "an answer at once is no news";
    EXPECT_EQ(s.RetryCount, 0);
    // The reply reset the count, so a drive that now falls silent gets ten full sends, each
    // re-send told while the request waits; then the run ends and nothing more goes out.
    rig.drive().stop();
    told.clear();
    EXPECT_FALSE(rig.exchange().transact("MX1", ReplyForm::Text));
    EXPECT_TRUE(s.AbortFlag);
    EXPECT_EQ(s.ErrorText, timeoutText(rig, "MX1"));
    EXPECT_EQ(s.RetryCount, 10);
    EXPECT_EQ(rig.exchange().sendCount(), 15u);
    std::vector<std::string> nine;
    for (int resend = 1; resend <= 9; ++resend) nine.push_back("MX1 " + std::to_string(resend) + "/9");
    EXPECT_EQ(told, nine);
    expectNothingMoreSent(rig, kShortTickMs);
  }
  {
    // The timer's tick on its own: with a reply flagged it neither counts nor re-sends;
    // otherwise it re-sends the last request, and the answer, though no request waits for
    // it, resets the count and flags the reply.
    LiveExchangeRig rig({}, kShortTickMs);
    ASSERT_EQ(rig.error(), "");
    quillon::ExchangeState& s = rig.state();
    s.RequestBuf = bytesOf("QT");
    s.ReplyFlag = true;
    s.RetryCount = 4;
    rig.exchange().onTimeoutTick();
    EXPECT_EQ(s.RetryCount, 4);
    EXPECT_EQ(rig.exchange().sendCount(), 0u);
    s.ReplyFlag = false;
    rig.exchange().onTimeoutTick();
    EXPECT_EQ(s.RetryCount, 5);
    EXPECT_EQ(rig.exchange().sendCount(), 1u);
    ASSERT_TRUE(rig.awaitDriveRequests(1));
    for (int round = 0; round < 200 && !s.ReplyFlag; ++round) rig.runEventsFor(5);
    EXPECT_TRUE(s.ReplyFlag);
    EXPECT_EQ(s.RetryCount, 0);
    EXPECT_EQ(rig.drive().requests(), Requests{bytesOf("QT")});
  }
}

TEST(LiveExchange, CancelDuringAWaitReturnsAtTheNextRoundAndStopsSending) {
  drivesim::Misbehaviour silent;
  silent.silent = true;
  LiveExchangeRig rig(silent, kShortTickMs);
  ASSERT_EQ(rig.error(), "");
  quillon::ExchangeState& s = rig.state();
  // The Cancel button sets only the flag; the wait has to notice it by itself. Ten silent
  // ticks take longer than this, so the run ends by Cancel and not by timeout.
  QTimer::singleShot(3 * kShortTickMs + kShortTickMs / 2, [&s] { s.AbortFlag = true; });
  EXPECT_FALSE(rig.exchange().transact("MX1", ReplyForm::Text));
  EXPECT_TRUE(s.AbortFlag);
  EXPECT_FALSE(s.ReplyFlag);
  EXPECT_EQ(s.ErrorText, "");
  EXPECT_FALSE(rig.exchange().timerEnabled());
  const std::uint64_t sent = rig.exchange().sendCount();
  EXPECT_GE(sent, 1u);
  EXPECT_LT(sent, 10u);
  ASSERT_TRUE(rig.awaitDriveRequests(sent));
  expectNothingMoreSent(rig, kShortTickMs);
  EXPECT_EQ(rig.drive().requestCount(), sent);
}

namespace {

// The reply arrives as any other; reading it as a request routine does (`decode`, which
// tells whether the decoder still holds) ends the run with `message`.
void expectDecodingEndsTheRun(const drivesim::Misbehaviour& garble, const std::string& request, ReplyForm form,
                              const std::function<bool(LiveExchangeRig&)>& decode, const std::string& message) {
  SCOPED_TRACE(request);
  LiveExchangeRig rig(garble, kShortTickMs);
  ASSERT_EQ(rig.error(), "");
  ASSERT_TRUE(rig.exchange().transact(request, form));
  EXPECT_FALSE(decode(rig));
  EXPECT_TRUE(rig.state().AbortFlag);
  EXPECT_EQ(rig.state().ErrorText, message);
  expectNothingMoreSent(rig, kShortTickMs);
}

}  // namespace

TEST(LiveExchange, ShortOrNonHexReplyEndsTheRunThroughTheDecoderWithAMessage) {
  drivesim::Misbehaviour cutLayout;
  cutLayout.shortCommand = "MX1";
  expectDecodingEndsTheRun(
      cutLayout, "MX1", ReplyForm::Text,
      [](LiveExchangeRig& rig) {
        EXPECT_EQ(rig.state().ReplyText.size(), 10u);
        quillon::TextReplyDecoder layout(rig.state(), "MX1");
        int signalSum = 0;
        for (int g = 1; g <= drivesim::kGroupCount; ++g) signalSum += layout.hex8(2 * g + 10);
        EXPECT_EQ(signalSum, 0);  // nothing is taken from a bad reply
        return layout.ok();
      },
      "Malformed reply to \"MX1\": expected at least 13 characters, got 10");

  drivesim::Misbehaviour cutFaults;
  cutFaults.shortCommand = "MY51";
  expectDecodingEndsTheRun(
      cutFaults, "MY5101", ReplyForm::Binary,
      [](LiveExchangeRig& rig) {
        quillon::BinaryReplyDecoder faults(rig.state(), "MY51");
        EXPECT_EQ(faults.s16(3), rig.drive().profile().faultCode(1, 1));
        EXPECT_EQ(faults.s16(61), 0);
        return faults.ok();
      },
      "Malformed reply to \"MY51\": expected at least 63 bytes, got 31");

  drivesim::Misbehaviour garbled;
  garbled.nonHexCommand = "MX1";
  expectDecodingEndsTheRun(
      garbled, "MX1", ReplyForm::Text,
      [](LiveExchangeRig& rig) {
        quillon::TextReplyDecoder layout(rig.state(), "MX1");
        EXPECT_EQ(layout.hex8(2), 0);
        return layout.ok();
      },
      "Malformed reply to \"MX1\": non-hex character at position 2");
}

TEST(LiveExchange, AReplyWithoutStatusByteEndsTheRunNamingTheRequest) {
  // A cut header (10 to 19 bytes) or the header alone: no payload, so no status byte.
  for (const int bytes : {10, 19, 20}) {
    for (const auto& [request, form] : {std::pair{std::string("Q1"), ReplyForm::Text},
                                        std::pair{std::string("MY5103"), ReplyForm::Binary}}) {
      SCOPED_TRACE(request + " cut to " + std::to_string(bytes) + " bytes");
      drivesim::Misbehaviour headerOnly;
      headerOnly.headerOnlyCommand = "*";
      headerOnly.headerOnlyBytes = bytes;
      LiveExchangeRig rig(headerOnly, kResendTickMs);
      ASSERT_EQ(rig.error(), "");
      EXPECT_FALSE(rig.exchange().transact(request, form));
      EXPECT_TRUE(rig.state().AbortFlag);
      EXPECT_FALSE(rig.state().ReplyFlag);
      EXPECT_EQ(rig.state().ErrorText, "Malformed reply to \"" + request + "\": the reply holds no status byte");
      EXPECT_EQ(rig.exchange().sendCount(), 1u);
      expectNothingMoreSent(rig, kShortTickMs);
    }
  }
}

TEST(LiveExchange, ANamedDriveIsTheOnlySenderWhoseRepliesAreTaken) {
  drivesim::Misbehaviour slow;
  slow.delayMs = 50;  // the forged reply comes first
  LiveExchangeRig rig(slow, kResendTickMs * 10);
  ASSERT_EQ(rig.error(), "");
  testhost::Peer forger(0x7F000002);  // another loopback address forges the drive's reply
  ASSERT_TRUE(forger.bound());
  const std::string realReply = [&] {
    const auto bytes = drivesim::CommandModel(rig.drive().profile()).replyTo(bytesOf("MX1"));
    return std::string(bytes.begin(), bytes.end());
  }();

  // A host name is resolved first: the control compares the sender's dotted address as text.
  for (const std::string drive : {"127.0.0.1", "localhost"}) {
    SCOPED_TRACE(drive);
    ASSERT_EQ(rig.exchange().configureAndOpen(drive, rig.drive().port(), 0), "");
    EXPECT_TRUE(testhost::getBool(rig.exchange().control(), "SrcIpFilter"));
    bool forged = false;
    QTimer poll;
    poll.callOnTimeout([&] {
      if (forged || rig.drive().requestCount() == 0) return;
      forger.sendTo(rig.exchange().boundPort(), testhost::replyDatagram("\x06" "0000FFFF000000000000"));
      forged = true;
    });
    poll.start(1);
    const std::size_t before = rig.drive().requestCount();
    ASSERT_TRUE(rig.exchange().transact("MX1", ReplyForm::Text));
    EXPECT_TRUE(forged);
    EXPECT_EQ(rig.state().ReplyText, realReply);
    EXPECT_GT(rig.drive().requestCount(), before);
    rig.runEventsFor(20);
  }

  EXPECT_EQ(rig.exchange().configureAndOpen("no-such-drive.invalid", rig.drive().port(), 0),
            "the drive's address no-such-drive.invalid cannot be resolved");
  // The broadcast address keeps the filter off: any drive may answer (nothing is sent here).
  ASSERT_EQ(rig.exchange().configureAndOpen(quillon::kDefaultDestIp, rig.drive().port(), 0), "");
  EXPECT_FALSE(testhost::getBool(rig.exchange().control(), "SrcIpFilter"));

  // A port another program holds: the code kept, with the system's own words.
  const int holder = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof local;
  ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
  ASSERT_EQ(::getsockname(holder, reinterpret_cast<sockaddr*>(&local), &length), 0);
  const std::uint16_t busy = ntohs(local.sin_port);
  EXPECT_EQ(rig.exchange().configureAndOpen(drivesim::kDefaultAddress, rig.drive().port(), busy),
            "the tool's own UDP port " + std::to_string(busy) +
                " is in use by another program (Windows Sockets error 10048: address already in use); "
                "choose another with --port (0 takes any free port)");
  ::close(holder);
}

TEST(LiveExchange, AReSendKeepsThePortFirstBoundSoALateReplyIsTaken) {
  // The drive answers each request only once its k-th re-send is in, and then to the port of
  // the first sending: a re-send on a new port would leave that reply unread.
  for (const int resends : {1, 3}) {
    SCOPED_TRACE(resends);
    drivesim::Misbehaviour late;
    late.answerAfterResends = resends;
    LiveExchangeRig rig(late, kShortTickMs);
    ASSERT_EQ(rig.error(), "");
    const std::uint16_t port = rig.exchange().boundPort();
    ASSERT_NE(port, 0);
    ASSERT_TRUE(rig.exchange().transact("MX1", ReplyForm::Text)) << rig.state().ErrorText;
    EXPECT_EQ(rig.exchange().sendCount(), static_cast<std::uint64_t>(resends + 1));
    EXPECT_EQ(rig.state().RetryCount, 0);
    ASSERT_TRUE(rig.exchange().transact("QT", ReplyForm::Text)) << rig.state().ErrorText;
    EXPECT_EQ(rig.exchange().boundPort(), port);
    EXPECT_EQ(testhost::getLong(rig.exchange().control(), "MyPort"), port);
  }
}

TEST(LiveExchange, TheDrivesTextsComeThroughTheControlInItsCodePage) {
  const drivesim::DriveOptions japanese = drivesim::JapaneseDrive();
  {
    LiveExchangeRig rig({}, kResendTickMs, japanese);
    ASSERT_EQ(rig.error(), "");
    EXPECT_EQ(testhost::get(rig.exchange().control(), "CodePage"), platform::automation::Variant("CP932"));
    quillon::DriveIdentity identity;
    quillon::IdentityRequests requests(rig.exchange(), identity);
    requests.ReadDriveType();
    requests.ReadOrderNumber1();
    requests.ReadOrderNumber2();
    requests.ReadPanelName();  // its halves split a double-byte character
    EXPECT_EQ(rig.state().ErrorText, "");
    EXPECT_EQ(identity.DriveType, "RX-Fenn");
    EXPECT_EQ(identity.OrderNumber1, japanese.orderNumber1);
    EXPECT_EQ(identity.OrderNumber2, japanese.orderNumber2);
    EXPECT_EQ(identity.PanelName, japanese.panelName);
    EXPECT_EQ(rig.exchange().codePage().toAnsi(identity.PanelName),
              rig.drive().profile().panelNameHalf(1) + rig.drive().profile().panelNameHalf(2));
  }
  {
    // A status byte that begins a double-byte character with the byte after it ("ア", 83 41)
    // is the status alone: the layout's fields stay where they are.
    drivesim::Misbehaviour status;
    status.statusByte = 0x83;
    drivesim::DriveOptions deep = japanese;
    deep.groupDepth = {0xA0, 4, 1, 0, 1};
    LiveExchangeRig rig(status, kResendTickMs, deep);
    ASSERT_EQ(rig.error(), "");
    ASSERT_TRUE(rig.exchange().transact("MX1", ReplyForm::Text));
    quillon::TextReplyDecoder layout(rig.state(), "MX1");
    EXPECT_EQ(layout.hex8(2), 0xA0);
    EXPECT_EQ(layout.hex8(12), rig.drive().profile().groupSignals(1));
    EXPECT_TRUE(layout.ok()) << rig.state().ErrorText;
  }
}
