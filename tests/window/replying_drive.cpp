#include "replying_drive.h"

#include <algorithm>
#include <cstdio>

namespace quillon_test {
namespace {

constexpr char kAck = 0x06;

std::string hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%08X", value);
  return std::string(text).substr(8 - digits);
}

int hexArg(const std::string& request, std::size_t at) { return std::stoi(request.substr(at, 2), nullptr, 16); }

void put16(std::vector<std::uint8_t>& out, std::int32_t v) {
  out.push_back(static_cast<std::uint8_t>(v >> 8));
  out.push_back(static_cast<std::uint8_t>(v));
}
void put32(std::vector<std::uint8_t>& out, std::int32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

}  // namespace

void ReplyModel::setLevel(int level, int minor) {
  char text[16];
  std::snprintf(text, sizeof text, "01%d.%03d", level % 10, minor % 1000);
  interfaceVersion = text;
}

std::size_t ReplyingDrive::countOf(std::string_view prefix) const {
  return static_cast<std::size_t>(std::count_if(requests_.begin(), requests_.end(), [&](const std::string& r) {
    return r.compare(0, prefix.size(), prefix) == 0;
  }));
}

bool ReplyingDrive::transact(std::string_view requestView, quillon::ReplyForm form) {
  quillon::ExchangeState& s = state();
  if (s.AbortFlag) return false;
  const std::string request(requestView);
  s.RequestBuf.assign(request.begin(), request.end());
  requests_.push_back(request);
  ++sendCount_;
  s.BinaryReplyFlag = form == quillon::ReplyForm::Binary;
  s.RetryCount = 0;
  if (form == quillon::ReplyForm::Binary) s.ReplyBytes = binaryReply(request);
  else s.ReplyText = textReply(request);
  return true;
}

std::string ReplyingDrive::textReply(const std::string& r) const {
  const ReplyModel& m = model_;
  const std::string head = std::string(1, kAck) + "0";
  if (r == "QT") return head + m.interfaceVersion;
  if (r == "Q1") return head + m.driveType;
  if (r == "Q2") return head + "V1.23";
  if (r == "Q3") return head + "ABC123";
  if (r == "Q4") return head + "D45";
  if (r == "QA1") return head + m.panelName1;
  if (r == "QA2") return head + m.panelName2;
  if (r == "QU2")
    return head + "0" + std::string(10, '0') + hex(400, 4) + hex(520, 5) + hex(360, 6) + hex(380, 4) + hex(355, 5) +
           hex(4, 2) + hex(14700, 5) + hex(185, 6) + hex(500, 3);
  if (r == "MX1") {
    std::string reply(1, kAck);
    for (int d : m.depth) reply += hex(d, 2);
    for (int n : m.signalCounts) reply += hex(n, 2);
    return reply;
  }
  if (r.rfind("MX2", 0) == 0) {
    std::string reply(1, kAck);
    for (int g = 1; g <= 5; ++g) reply += hex(g * 10, 8);
    return reply;
  }
  if (r.rfind("MX3", 0) == 0) {
    std::string reply(1, kAck);
    for (int g = 1; g <= 5; ++g) reply += hex(g * 5, 4);
    return reply;
  }
  if (r.rfind("MY1", 0) == 0) {
    const int bank = hexArg(r, 3);
    const bool on = bank < 8 && m.recorded[bank];
    // hour 6-7, minute 10-11, second 14-15, month 18-19, day 22-23, year 24-27
    return std::string(1, kAck) + "0000" + hex(on ? 8 : 0, 2) + "00" + hex(on ? 15 : 0, 2) + "00" +
           hex(on ? bank : 0, 2) + "00" + hex(on ? 3 : 0, 2) + "00" + hex(on ? 12 : 0, 2) + hex(14, 4);
  }
  if (r.rfind("MZ1", 0) == 0) {
    const int block = hexArg(r, 5);
    std::string reply = std::string(1, kAck) + "00";
    for (int k = 1; k <= 8; ++k) reply += hex(0x1A00 + (block - 1) * 8 + k, 4);
    return reply;
  }
  if (r.rfind("MV", 0) == 0) return head + "S1234567" + "XXXXXXXX";
  return std::string(1, kAck);
}

std::vector<std::uint8_t> ReplyingDrive::binaryReply(const std::string& r) const {
  std::vector<std::uint8_t> out{static_cast<std::uint8_t>(kAck)};
  const std::string letters = r.substr(0, 3);
  if (letters == "Mz1" || letters == "mz1") {
    const int block = hexArg(r, 5), perBlock = letters == "Mz1" ? 8 : 32;
    out.push_back(0);
    out.push_back(0);
    for (int k = 1; k <= perBlock; ++k) put32(out, 0x00120000 + (block - 1) * perBlock + k);
    return out;
  }
  if (letters == "MZ2" || letters == "Mz2" || letters == "mzx") {
    const int bank = hexArg(r, 3), signal = hexArg(r, 5), block = hexArg(r, 7);
    const int perBlock = letters == "MZ2" ? 31 : letters == "Mz2" ? 15 : 61;
    for (int k = 1; k <= perBlock; ++k) {
      const std::int32_t value = ReplyModel::sample(bank, signal, (block - 1) * perBlock + k);
      if (letters == "MZ2") put16(out, value);
      else put32(out, value);
    }
    return out;
  }
  if (r.rfind("MY5", 0) == 0) {
    out.push_back(0);
    out.push_back(0);
    const int base = r[3] == '1' ? 0 : 15;
    for (int k = 1; k <= 15; ++k) put16(out, base + k);
    for (int k = 1; k <= 15; ++k) put16(out, k == 1 ? -1 : 100 + k);
    return out;
  }
  return out;
}

}  // namespace quillon_test
