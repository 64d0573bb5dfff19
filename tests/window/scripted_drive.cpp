#include "scripted_drive.h"

#include <algorithm>
#include <cstdio>

#include "quillon/requests/exchange.h"

namespace quillon_test {
using quillon::HexByteText;
using quillon::ReplyForm;

std::size_t ScriptedDrive::countOf(std::string_view prefix) const {
  return static_cast<std::size_t>(std::count_if(requests_.begin(), requests_.end(), [&](const std::string& r) {
    return r.compare(0, prefix.size(), prefix) == 0;
  }));
}

bool ScriptedDrive::transact(std::string_view requestView, ReplyForm form) {
  quillon::ExchangeState& s = state();
  if (s.AbortFlag) return false;
  const std::string request(requestView);
  s.RequestBuf.assign(request.begin(), request.end());
  requests_.push_back(request);
  ++sendCount_;
  s.BinaryReplyFlag = form == ReplyForm::Binary;
  const Misbehave how = beforeReply ? beforeReply(request) : Misbehave::None;
  if (how == Misbehave::Silent) s.abortWith("Timeout");
  if (how == Misbehave::Nak) {
    char code[8];
    std::snprintf(code, sizeof code, "%X", nakCode);
    s.abortWith(std::string("Received \"NAK\"\r\nTool Error Code = ") + code + "h");
  }
  if (s.AbortFlag) return false;
  s.RetryCount = 0;
  return true;
}

void ScriptedSteps::connect() {
  if (send("QT")) {
    level_ = model_.level;
    minor_ = model_.minor;
  }
  if (send("Q1")) type_ = model_.driveType;
}

void ScriptedSteps::readDriveInformation() {
  for (const char* request : {"Q2", "Q3", "Q4"}) send(request);
  if (send("QA1") && send("QA2")) panel_ = model_.panelName;
  send("QU2");
}

void ScriptedSteps::readGroupLayout() {
  if (!send("MX1")) return;
  depth_ = model_.depth;
  signals_ = model_.signalCounts;
}

static std::string twoDigits(int v) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d", v);
  return text;
}

void ScriptedSteps::readBankTime(std::uint8_t bank) {
  if (!send("MY1" + HexByteText(bank))) return;
  const BankRecord& b = model_.banks[bank];
  bankTime_[bank] = {"", std::to_string(2000 + b.year), twoDigits(b.month), twoDigits(b.day),
                     twoDigits(b.hour), twoDigits(b.minute), twoDigits(b.second)};
}

void ScriptedSteps::readBankHeader(std::uint8_t bank) {
  send("MX2" + HexByteText(bank));
  send("MX3" + HexByteText(bank));
}

void ScriptedSteps::readBankSignals(std::uint8_t bank, quillon::SampleVariant variant, int validBankCount) {
  int signalCount = 0;
  for (int g = 1; g <= 5; ++g) signalCount += signals_[g];
  const ReplyForm addressForm = variant == quillon::SampleVariant::Narrow16 ? ReplyForm::Text : ReplyForm::Binary;
  const int addressBlocks = signalCount / quillon::AddressesPerBlock(variant) + 1;
  for (int block = 1; block <= addressBlocks; ++block)
    if (!send(quillon::AddressCommand(variant) + HexByteText(bank) + HexByteText(block), addressForm)) return;
  int groupEnd = 0, group = 0;
  for (int s = 1; s <= signalCount; ++s) {
    while (s > groupEnd) groupEnd += signals_[++group];
    const int depth = (variant == quillon::SampleVariant::Narrow16 ? *std::max_element(depth_.begin(), depth_.end())
                                                                   : depth_[group - 1]) * 64;
    const int blocks = depth / quillon::SamplesPerBlock(variant) + 1;
    for (int block = 1; block <= blocks; ++block)
      if (!send(quillon::SampleCommand(variant) + HexByteText(bank) + HexByteText(s) + HexByteText(block),
                ReplyForm::Binary))
        return;
  }
  // One bank's share of the bar; the last bank fills it exactly.
  const int box = progress_.shpBoxWidth();
  progress_.setShpScaleWidth(std::min(box, progress_.shpScaleWidth() + (box + validBankCount - 1) / validBankCount));
}

void ScriptedSteps::readBankFaultsAndVersion(std::uint8_t bank) {
  send("MY51" + HexByteText(bank), ReplyForm::Binary);
  send("MY52" + HexByteText(bank), ReplyForm::Binary);
  send("MV" + HexByteText(bank));
}

void ScriptedSteps::saveBank(std::uint8_t bank) {
  savedBanks.push_back(bank);
  if (onSave) onSave(bank);
}

}  // namespace quillon_test
