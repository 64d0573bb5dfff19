#include "quillon/requests/identity_requests.h"

#include <cstdlib>

#include "quillon/requests/reply_decoder.h"

namespace quillon {

namespace {

// "QT": version text, level digit and three minor digits.
constexpr int kVersionTextPosition = 3;
constexpr int kVersionTextLength = 7;
constexpr int kLevelPosition = 5;
constexpr int kMinorPosition = 7;
constexpr int kMinorDigits = 3;

// Texts of "Q1" to "Q4", "QA1" and "QA2" start after the status and one more character.
constexpr int kTextTailPosition = 3;

// "QU2" fields: position and digits.
struct RatingField {
  int position;
  int digits;
};
constexpr RatingField kInverterVoltage{14, 4};
constexpr RatingField kInverterCurrent{18, 5};
constexpr RatingField kInverterCapacity{23, 6};
constexpr RatingField kMotorVoltage{29, 4};
constexpr RatingField kMotorCurrent{33, 5};
constexpr RatingField kMotorPoles{38, 2};
constexpr RatingField kMotorSpeed{40, 5};
constexpr RatingField kMotorOutput{45, 6};
constexpr RatingField kMotorFrequency{51, 3};

// The speed is a 20-bit count of 0.1 min-1 that the drive marks negative above 0xF0000.
constexpr std::int64_t kSpeedNegativeAbove = 0xF0000;
constexpr std::int64_t kSpeedModulus = 0x100000;

// Up to four digits are a signed 16-bit value; longer fields are positive.
std::int64_t ratingValue(TextReplyDecoder& reply, const RatingField& field) {
  const std::uint32_t raw = reply.hexUnsigned(field.position, field.digits);
  if (field.digits <= 4) return static_cast<std::int16_t>(raw);
  return raw;
}

bool isDecimal(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

}  // namespace

std::string TenthsText(std::int64_t tenths) {
  const bool negative = tenths < 0;
  const std::int64_t magnitude = negative ? -tenths : tenths;
  return (negative ? "-" : "") + std::to_string(magnitude / 10) + "." + std::to_string(magnitude % 10);
}

void IdentityRequests::ReadInterfaceVersion() {
  if (exchange_.transact("QT", ReplyForm::Text)) DecodeInterfaceVersion(exchange_.state(), identity_);
}

void DecodeInterfaceVersion(ExchangeState& state, DriveIdentity& identity) {
  TextReplyDecoder reply(state, "QT");
  const std::string versionText = reply.chars(kVersionTextPosition, kVersionTextLength);
  const std::string level = reply.chars(kLevelPosition, 1);
  const std::string minor = reply.chars(kMinorPosition, kMinorDigits);
  if (!reply.ok()) return;
  if (!isDecimal(level) || !isDecimal(minor)) {
    state.abortWith("Malformed reply to \"QT\": the interface level \"" + level + "\" and minor \"" + minor +
                    "\" must be decimal digits");
    return;
  }
  identity.InterfaceVersionText = versionText;
  identity.InterfaceLevel = static_cast<std::int16_t>(std::atoi(level.c_str()));
  identity.InterfaceMinor = static_cast<std::int16_t>(std::atoi(minor.c_str()));
}

bool IdentityRequests::readTail(const char* command, std::string& tail) {
  if (!exchange_.transact(command, ReplyForm::Text)) return false;
  tail = TextReplyDecoder(exchange_.state(), command).charsFrom(kTextTailPosition);
  return true;
}

void IdentityRequests::readTailInto(const char* command, std::string& field) {
  std::string tail;
  if (readTail(command, tail)) field = std::move(tail);
}

void IdentityRequests::ReadDriveType() { readTailInto("Q1", identity_.DriveType); }
void IdentityRequests::ReadDriveSoftVersion() { readTailInto("Q2", identity_.DriveSoftVersion); }
void IdentityRequests::ReadOrderNumber1() { readTailInto("Q3", identity_.OrderNumber1); }
void IdentityRequests::ReadOrderNumber2() { readTailInto("Q4", identity_.OrderNumber2); }

void IdentityRequests::ReadPanelName() {
  std::string first;
  if (!readTail("QA1", first)) return;
  identity_.PanelName = first;  // an abort of "QA2" leaves the first half
  std::string second;
  if (!readTail("QA2", second)) return;
  // One text in two replies: a double-byte character may begin in the first and end in the
  // second, so the halves are joined as the drive's bytes and read again as a whole.
  const platform::shell::CodePage& codePage = exchange_.codePage();
  identity_.PanelName = codePage.fromAnsi(codePage.toAnsi(first) + codePage.toAnsi(second));
}

void IdentityRequests::ReadRatings() {
  ExchangeState& state = exchange_.state();
  if (!exchange_.transact("QU2", ReplyForm::Text)) return;
  TextReplyDecoder reply(state, "QU2");
  const std::int64_t inverterVoltage = ratingValue(reply, kInverterVoltage);
  const std::int64_t inverterCurrent = ratingValue(reply, kInverterCurrent);
  const std::int64_t inverterCapacity = ratingValue(reply, kInverterCapacity);
  const std::int64_t motorVoltage = ratingValue(reply, kMotorVoltage);
  const std::int64_t motorCurrent = ratingValue(reply, kMotorCurrent);
  const std::int64_t motorPoles = ratingValue(reply, kMotorPoles);
  std::int64_t motorSpeed = ratingValue(reply, kMotorSpeed);
  const std::int64_t motorOutput = ratingValue(reply, kMotorOutput);
  const std::int64_t motorFrequency = ratingValue(reply, kMotorFrequency);
  if (!reply.ok()) return;
  if (motorSpeed > kSpeedNegativeAbove) motorSpeed -= kSpeedModulus;
  identity_.InverterVoltage = TenthsText(inverterVoltage * 10);
  identity_.InverterCurrent = TenthsText(inverterCurrent);
  identity_.InverterCapacity = TenthsText(inverterCapacity);
  identity_.MotorVoltage = std::to_string(motorVoltage);
  identity_.MotorCurrent = TenthsText(motorCurrent);
  identity_.MotorPoles = std::to_string(motorPoles);
  identity_.MotorSpeed = TenthsText(motorSpeed);
  identity_.MotorOutput = TenthsText(motorOutput);
  identity_.MotorFrequency = TenthsText(motorFrequency);
}

}  // namespace quillon
