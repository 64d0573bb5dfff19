#include "quillon/requests/identity_requests.h"

#include <gtest/gtest.h>

#include "tests/requests/scripted_exchange.h"

using namespace quillon;
using quillon_test::ScriptedExchange;

namespace {

const auto text = quillon_test::ScriptedReply::Text;
const auto refused = quillon_test::ScriptedReply::Abort;

// Status, two unused characters, ten unused digits, then the nine rating fields.
std::string ratingsReply(const std::string& speed) {
  return std::string("A::") + "0000000000" + "01B8" + "000C8" + "00016C" + "01B8" + "00163" + "04" + speed +
         "0000B9" + "1F4";
}

}  // namespace

TEST(IdentityRequests, InterfaceVersionLevelAndMinorAndAMalformedOneKeepsTheOldValues) {
  ScriptedExchange exchange;
  DriveIdentity identity;
  exchange.replies.push_back(text("A:V06.002"));
  IdentityRequests(exchange, identity).ReadInterfaceVersion();
  EXPECT_EQ(exchange.sent, std::vector<std::string>{"QT"});
  EXPECT_EQ(exchange.forms.front(), ReplyForm::Text);
  EXPECT_EQ(identity.InterfaceVersionText, "V06.002");
  EXPECT_EQ(identity.InterfaceLevel, 6);
  EXPECT_EQ(identity.InterfaceMinor, 2);
  EXPECT_FALSE(exchange.state().AbortFlag);

  for (const char* reply : {"A:V0X.002", "A:V06.0", "A:V06.0Z2"}) {
    ScriptedExchange malformed;
    malformed.replies.push_back(text(reply));
    IdentityRequests(malformed, identity).ReadInterfaceVersion();
    EXPECT_TRUE(malformed.state().AbortFlag) << reply;
    EXPECT_NE(malformed.state().ErrorText.find("\"QT\""), std::string::npos) << malformed.state().ErrorText;
    EXPECT_EQ(identity.InterfaceLevel, 6);
    EXPECT_EQ(identity.InterfaceVersionText, "V06.002");
  }
}

TEST(IdentityRequests, TextTailsFromTheThirdCharacterAndARefusedPanelHalfKeepsTheFirst) {
  ScriptedExchange exchange;
  DriveIdentity identity;
  identity.DriveType = "before";
  exchange.replies = {text("A:"), text("A:1.23  "), text("A:ABC123"), text("A:D45"), text("A:LINE"), text("A:1 é ")};
  IdentityRequests requests(exchange, identity);
  requests.ReadDriveType();
  requests.ReadDriveSoftVersion();
  requests.ReadOrderNumber1();
  requests.ReadOrderNumber2();
  requests.ReadPanelName();
  EXPECT_EQ(exchange.sent, (std::vector<std::string>{"Q1", "Q2", "Q3", "Q4", "QA1", "QA2"}));
  EXPECT_EQ(identity.DriveType, "");  // a two-character reply holds no type
  EXPECT_EQ(identity.DriveSoftVersion, "1.23  ");
  EXPECT_EQ(identity.OrderNumber1, "ABC123");
  EXPECT_EQ(identity.OrderNumber2, "D45");
  EXPECT_EQ(identity.PanelName, "LINE1 é ");

  ScriptedExchange half;
  half.replies = {text("A:LINE"), refused("NAK")};
  IdentityRequests halfRequests(half, identity);
  halfRequests.ReadPanelName();
  EXPECT_EQ(identity.PanelName, "LINE");
  EXPECT_TRUE(half.state().AbortFlag);
  // After the abort nothing more is sent and nothing changes.
  halfRequests.ReadRatings();
  halfRequests.ReadDriveType();
  EXPECT_EQ(half.sent.size(), 2u);
  EXPECT_EQ(identity.MotorSpeed, "");
}

bool isValidUtf8(const std::string& text) {
  for (std::size_t i = 0; i < text.size(); i += platform::shell::Utf8CharacterLength(text, i))
    if (platform::shell::Utf8CharacterLength(text, i) == 1 && static_cast<unsigned char>(text[i]) >= 0x80) return false;
  return true;
}

TEST(IdentityRequests, FieldsAreAtCharacterPositionsWhateverTheirBytes) {
  // windows-1252 0xB7 ("·") at character 6 is two bytes in the reply's text: the level at 5
  // and the minor at 7 to 9 are found all the same, and the version keeps the character.
  ScriptedExchange exchange;
  DriveIdentity identity;
  exchange.replies = {text("\x06" "0V06\xC2\xB7" "002"), text("\xC3\xA9\xC2\xB7:" + ratingsReply("F0000").substr(3))};
  IdentityRequests requests(exchange, identity);
  requests.ReadInterfaceVersion();
  requests.ReadRatings();
  EXPECT_EQ(exchange.state().ErrorText, "");
  EXPECT_EQ(identity.InterfaceLevel, 6);
  EXPECT_EQ(identity.InterfaceMinor, 2);
  EXPECT_EQ(identity.InterfaceVersionText, "V06\xC2\xB7" "002");
  EXPECT_EQ(exchange.codePage().toAnsi(identity.InterfaceVersionText), "V06\xB7" "002");
  EXPECT_EQ(identity.InverterVoltage, "440.0");
  EXPECT_EQ(identity.MotorFrequency, "50.0");

  // A character of several bytes where a digit belongs is named whole in the message.
  for (const char* reply : {"\x06" "0V0\xC2\xB7" ".002", "\x06" "0V06.\xE3\x81\x82" "02"}) {
    ScriptedExchange refused;
    refused.replies.push_back(text(reply));
    IdentityRequests(refused, identity).ReadInterfaceVersion();
    const std::string& message = refused.state().ErrorText;
    EXPECT_TRUE(refused.state().AbortFlag) << reply;
    EXPECT_TRUE(isValidUtf8(message)) << message;
    EXPECT_NE(message.find("must be decimal digits"), std::string::npos) << message;
  }
  ScriptedExchange nonHex;
  nonHex.replies.push_back(text("A::0000000000" "01\xC2\xB7" "8" + ratingsReply("F0000").substr(17)));
  IdentityRequests(nonHex, identity).ReadRatings();
  EXPECT_EQ(nonHex.state().ErrorText, "Malformed reply to \"QU2\": non-hex character at position 16");
}

TEST(IdentityRequests, PanelNameHalvesAreOneTextOfTheDrivesBytes) {
  // 第3ライン 巻取機 in CP932 is 16 bytes; split in the middle, "ン" (83 93) falls in two.
  const std::string panel = "\xE7\xAC\xAC" "3\xE3\x83\xA9\xE3\x82\xA4\xE3\x83\xB3 \xE5\xB7\xBB\xE5\x8F\x96\xE6\xA9\x9F";
  ScriptedExchange exchange;
  exchange.useCodePage("CP932");
  const platform::shell::CodePage& cp932 = exchange.codePage();
  const std::string bytes = cp932.toAnsi(panel);
  ASSERT_EQ(bytes.size(), 16u);
  ASSERT_EQ(bytes.substr(7, 2), "\x83\x93");
  // Each reply as the control reads it, on its own: the halves of ン are held as their bytes.
  const std::string first = cp932.fromAnsi("\x06" "0" + bytes.substr(0, 8));
  const std::string second = cp932.fromAnsi("\x06" "0" + bytes.substr(8));
  exchange.replies = {text(first), text(second), text(first), refused("NAK")};
  DriveIdentity identity;
  IdentityRequests(exchange, identity).ReadPanelName();
  EXPECT_EQ(identity.PanelName, panel);
  EXPECT_EQ(cp932.toAnsi(identity.PanelName), bytes);

  // Only the first half: its last byte is kept, and goes into the files as the drive sent it.
  IdentityRequests(exchange, identity).ReadPanelName();
  EXPECT_EQ(cp932.toAnsi(identity.PanelName), bytes.substr(0, 8));

  // A character with two codes keeps the drive's one (ED 40, not FA 5C).
  ScriptedExchange order;
  order.useCodePage("CP932");
  order.replies = {text(order.codePage().fromAnsi("\x06" "0\xED\x40" "A"))};
  IdentityRequests(order, identity).ReadOrderNumber1();
  EXPECT_EQ(order.codePage().toAnsi(identity.OrderNumber1), "\xED\x40" "A");
}

TEST(IdentityRequests, RatingsFormattedAsTheTitleLineNeedsThem) {
  ScriptedExchange exchange;
  DriveIdentity identity;
  exchange.replies = {text(ratingsReply("F0000")), text(ratingsReply("FFFF6"))};
  IdentityRequests requests(exchange, identity);
  requests.ReadRatings();
  EXPECT_EQ(exchange.sent.front(), "QU2");
  EXPECT_EQ(identity.InverterVoltage, "440.0");
  EXPECT_EQ(identity.InverterCurrent, "20.0");
  EXPECT_EQ(identity.InverterCapacity, "36.4");
  EXPECT_EQ(identity.MotorVoltage, "440");
  EXPECT_EQ(identity.MotorCurrent, "35.5");
  EXPECT_EQ(identity.MotorPoles, "4");
  EXPECT_EQ(identity.MotorSpeed, "98304.0");  // 0xF0000 itself is still positive
  EXPECT_EQ(identity.MotorOutput, "18.5");
  EXPECT_EQ(identity.MotorFrequency, "50.0");
  requests.ReadRatings();
  EXPECT_EQ(identity.MotorSpeed, "-1.0");
  EXPECT_EQ(TenthsText(-5), "-0.5");
  EXPECT_EQ(TenthsText(0), "0.0");

  // A short or non-hex reply changes nothing.
  for (std::string reply : {ratingsReply("F0000").substr(0, 52), ratingsReply("F00G0")}) {
    ScriptedExchange bad;
    DriveIdentity kept;
    kept.MotorSpeed = "old";
    bad.replies.push_back(text(reply));
    IdentityRequests(bad, kept).ReadRatings();
    EXPECT_TRUE(bad.state().AbortFlag);
    EXPECT_NE(bad.state().ErrorText.find("\"QU2\""), std::string::npos);
    EXPECT_EQ(kept.MotorSpeed, "old");
    EXPECT_EQ(kept.InverterVoltage, "");
  }
}
