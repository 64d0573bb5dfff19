#include "drivesim/command_model.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstdio>
#include <string_view>

namespace drivesim {

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kMostArguments = 3;

// A request's arguments after the letters, each read from its hex digits.
struct Arguments {
  std::array<std::uint32_t, kMostArguments> values{};
  std::uint32_t operator[](std::size_t i) const { return values[i]; }
};

using Builder = Bytes (*)(const DriveProfile&, const Arguments&);

struct Command {
  const char* letters;
  std::vector<int> argumentDigits;  // hex digits of each argument, in order
  const char* trailer;              // fixed letters after the arguments
  bool text;                        // reply form
  Builder build;
};

Bytes textBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

// The last `digits` hexadecimal digits of the value, upper case, zero-padded.
void appendHex(Bytes& text, std::uint32_t value, int digits) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) text.push_back(kDigits[(value >> shift) & 0xF]);
}

void putBig(Bytes& bytes, std::size_t at, std::uint32_t value, int width) {
  for (int i = 0; i < width; ++i)
    bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * (width - 1 - i)));
}

// Text replies start with the acknowledge byte, then the command's fields.
Bytes textReply(std::string_view fixedStart = {}) {
  constexpr std::size_t kLongestTextReply = 64;  // room for the fields, so they append in place
  Bytes text(1 + fixedStart.size());
  text.reserve(kLongestTextReply);
  text[0] = kAck;
  std::copy(fixedStart.begin(), fixedStart.end(), text.begin() + 1);
  return text;
}

Bytes binaryReply(std::size_t size) {
  Bytes bytes(size, 0);
  bytes[0] = kAck;
  return bytes;
}

Bytes fieldFrom3(const std::string& field) { return textReply("0" + field); }
// A text of the drive's from character 3, in its code page.
Bytes sentField(const DriveProfile& d, const std::string& text) { return fieldFrom3(d.sentText(text)); }

Bytes groupLayout(const DriveProfile& d) {
  Bytes t = textReply();
  for (int g = 1; g <= kGroupCount; ++g) appendHex(t, d.groupDepth(g), 2);
  for (int g = 1; g <= kGroupCount; ++g) appendHex(t, d.groupSignals(g), 2);
  return t;
}

Bytes groupSampling(const DriveProfile& d, int bank) {
  Bytes t = textReply();
  for (int g = 1; g <= kGroupCount; ++g) appendHex(t, static_cast<std::uint32_t>(d.groupSampling(bank, g)), 8);
  return t;
}

Bytes groupFaultIndex(const DriveProfile& d, int bank) {
  Bytes t = textReply();
  for (int g = 1; g <= kGroupCount; ++g)
    appendHex(t, static_cast<std::uint16_t>(d.groupFaultIndex(bank, g)), 4);
  return t;
}

// Hour at 6-7, minute 10-11, second 14-15, month 18-19, day 22-23, year 24-27.
Bytes bankTime(const DriveProfile& d, int bank) {
  const TimeStamp t = d.bankTime(bank);
  char text[40];
  std::snprintf(text, sizeof text, "%c0000%02X00%02X00%02X00%02X00%02X%04X", kAck, t.hour, t.minute, t.second,
                t.month, t.day, t.year);
  return textBytes(text);
}

// Eight 16-bit addresses from character 4.
Bytes addresses16(const DriveProfile& d, int bank, int block) {
  Bytes t = textReply("00");
  for (int k = 1; k <= 8; ++k) appendHex(t, d.signalAddress16(bank, (block - 1) * 8 + k), 4);
  return t;
}

// n 32-bit addresses from byte 3.
Bytes addresses32(const DriveProfile& d, int bank, int block, int n) {
  Bytes bytes = binaryReply(static_cast<std::size_t>(3 + 4 * n));
  for (int k = 1; k <= n; ++k)
    putBig(bytes, static_cast<std::size_t>(4 * k - 1), d.signalAddress32(bank, (block - 1) * n + k), 4);
  return bytes;
}

constexpr int kMostSamplesPerBlock = 61;

// n samples of `width` bytes from byte 1; 16-bit samples are the wave held to 16 bits.
Bytes samples(const DriveProfile& d, int bank, int signal, int block, int n, int width) {
  assert(n <= kMostSamplesPerBlock);
  Bytes bytes = binaryReply(static_cast<std::size_t>(1 + width * n));
  std::array<std::int32_t, kMostSamplesPerBlock> values;
  const std::span<std::int32_t> run(values.data(), static_cast<std::size_t>(n));
  if (width == 2)
    d.waves(bank, signal, (block - 1) * n + 1, run);
  else
    d.samples32(bank, signal, (block - 1) * n + 1, run);
  std::uint8_t* at = bytes.data() + 1;
  for (const std::int32_t value : run) {
    if (width == 2) {
      const auto word = static_cast<std::uint16_t>(std::clamp(value, -32768, 32767));
      at[0] = static_cast<std::uint8_t>(word >> 8);
      at[1] = static_cast<std::uint8_t>(word);
    } else {
      const auto word = static_cast<std::uint32_t>(value);
      at[0] = static_cast<std::uint8_t>(word >> 24);
      at[1] = static_cast<std::uint8_t>(word >> 16);
      at[2] = static_cast<std::uint8_t>(word >> 8);
      at[3] = static_cast<std::uint8_t>(word);
    }
    at += width;
  }
  return bytes;
}

// Fifteen FI codes from byte 3, their detected samples from byte 33.
Bytes faultList(const DriveProfile& d, int bank, int firstEntry) {
  Bytes bytes = binaryReply(63);
  for (int k = 1; k <= 15; ++k) {
    putBig(bytes, static_cast<std::size_t>(2 * k + 1), static_cast<std::uint16_t>(d.faultCode(bank, firstEntry + k - 1)), 2);
    putBig(bytes, static_cast<std::size_t>(2 * k + 31), static_cast<std::uint16_t>(d.faultSample(bank, firstEntry + k - 1)), 2);
  }
  return bytes;
}

// Version at 3-10, then a second eight-character field.
Bytes bankVersion(const DriveProfile& d, int bank) {
  return fieldFrom3(d.bankSoftVersion(bank) + "BOOT0100");
}

// Ten unused digits from 4, then the nine ratings.
Bytes ratings(const DriveProfile& d) {
  const Ratings& r = d.options().ratings;
  Bytes t = textReply("00" "0000000000");
  appendHex(t, r.inverterVoltage, 4);
  appendHex(t, r.inverterCurrent, 5);
  appendHex(t, r.inverterCapacity, 6);
  appendHex(t, r.motorVoltage, 4);
  appendHex(t, r.motorCurrent, 5);
  appendHex(t, r.motorPoles, 2);
  appendHex(t, r.motorSpeed, 5);
  appendHex(t, r.motorOutput, 6);
  appendHex(t, r.motorFrequency, 3);
  return t;
}

Bytes archiveSize(const DriveProfile& d) {
  Bytes t = textReply("0");
  appendHex(t, d.archiveSize(), 8);
  return t;
}

// Byte 1 unused, 62 data bytes from byte 2.
Bytes archiveBlock(const DriveProfile& d, std::uint32_t block) {
  Bytes bytes = binaryReply(64);
  for (std::uint32_t j = 0; j < 62; ++j) bytes[2 + j] = d.archiveByte(block * 62 + j);
  return bytes;
}

int asInt(std::uint32_t v) { return static_cast<int>(v); }

const std::vector<Command>& vocabulary() {
  static const std::vector<Command> commands = {
      {"QT", {}, "", true, [](const DriveProfile& d, const Arguments&) { return fieldFrom3(d.interfaceVersionText()); }},
      {"Q1", {}, "", true, [](const DriveProfile& d, const Arguments&) { return sentField(d, d.driveType()); }},
      {"Q2", {}, "", true, [](const DriveProfile& d, const Arguments&) { return sentField(d, d.softVersion()); }},
      {"Q3", {}, "", true,
       [](const DriveProfile& d, const Arguments&) { return sentField(d, d.options().orderNumber1); }},
      {"Q4", {}, "", true,
       [](const DriveProfile& d, const Arguments&) { return sentField(d, d.options().orderNumber2); }},
      {"QA1", {}, "", true, [](const DriveProfile& d, const Arguments&) { return fieldFrom3(d.panelNameHalf(1)); }},
      {"QA2", {}, "", true, [](const DriveProfile& d, const Arguments&) { return fieldFrom3(d.panelNameHalf(2)); }},
      {"QU2", {}, "", true, [](const DriveProfile& d, const Arguments&) { return ratings(d); }},
      {"FB", {}, "", true, [](const DriveProfile& d, const Arguments&) { return archiveSize(d); }},
      {"FR", {4}, "", false, [](const DriveProfile& d, const Arguments& a) { return archiveBlock(d, a[0]); }},
      {"MX1", {}, "", true, [](const DriveProfile& d, const Arguments&) { return groupLayout(d); }},
      {"MX2", {2}, "", true, [](const DriveProfile& d, const Arguments& a) { return groupSampling(d, asInt(a[0])); }},
      {"MX3", {2}, "", true, [](const DriveProfile& d, const Arguments& a) { return groupFaultIndex(d, asInt(a[0])); }},
      {"MY1", {2}, "", true, [](const DriveProfile& d, const Arguments& a) { return bankTime(d, asInt(a[0])); }},
      {"MZ1", {2, 2}, "", true,
       [](const DriveProfile& d, const Arguments& a) { return addresses16(d, asInt(a[0]), asInt(a[1])); }},
      {"Mz1", {2, 2}, "", false,
       [](const DriveProfile& d, const Arguments& a) { return addresses32(d, asInt(a[0]), asInt(a[1]), 8); }},
      {"mz1", {2, 2}, "", false,
       [](const DriveProfile& d, const Arguments& a) { return addresses32(d, asInt(a[0]), asInt(a[1]), 32); }},
      {"MZ2", {2, 2, 2}, "", false,
       [](const DriveProfile& d, const Arguments& a) { return samples(d, asInt(a[0]), asInt(a[1]), asInt(a[2]), 31, 2); }},
      {"Mz2", {2, 2, 2}, "", false,
       [](const DriveProfile& d, const Arguments& a) { return samples(d, asInt(a[0]), asInt(a[1]), asInt(a[2]), 15, 4); }},
      {"mzx", {2, 2, 2}, "", false,
       [](const DriveProfile& d, const Arguments& a) { return samples(d, asInt(a[0]), asInt(a[1]), asInt(a[2]), 61, 4); }},
      {"MY51", {2}, "", false, [](const DriveProfile& d, const Arguments& a) { return faultList(d, asInt(a[0]), 1); }},
      {"MY52", {2}, "", false, [](const DriveProfile& d, const Arguments& a) { return faultList(d, asInt(a[0]), 16); }},
      {"MV", {2}, "", true, [](const DriveProfile& d, const Arguments& a) { return bankVersion(d, asInt(a[0])); }},
      {"LP", {4}, "F", false,
       [](const DriveProfile& d, const Arguments& a) { return d.records().memoryBlockReply(a[0]); }},
      {"Lp", {8}, "F", false,
       [](const DriveProfile& d, const Arguments& a) { return d.records().memoryBlockReply(a[0]); }},
      {"MY300", {2}, "", false,
       [](const DriveProfile& d, const Arguments& a) { return d.records().troubleRecordReply(asInt(a[0])); }},
      {"EV1", {}, "", false, [](const DriveProfile& d, const Arguments&) { return d.records().eventCountsReply(0); }},
      {"EV2", {}, "", false, [](const DriveProfile& d, const Arguments&) { return d.records().eventCountsReply(8); }},
      {"EVT", {1}, "", false,
       [](const DriveProfile& d, const Arguments& a) { return d.records().eventTimesReply(asInt(a[0])); }},
      {"J", {}, "", true, [](const DriveProfile& d, const Arguments&) { return textBytes(d.records().clockReply()); }},
      {"ZS", {}, "", false, [](const DriveProfile& d, const Arguments&) { return d.records().sseqOutputsReply(); }},
      {"SP", {}, "", false, [](const DriveProfile& d, const Arguments&) { return d.records().prCodesReply(); }},
  };
  return commands;
}

bool startsWith(std::span<const std::uint8_t> request, std::string_view letters) {
  return request.size() >= letters.size() && std::equal(letters.begin(), letters.end(), request.begin());
}

// The commands by their first letter, longest letters first, so that the first one a request
// starts with is the longest that fits ("MY51" before "MY1" and "M...").
struct Candidate {
  std::string_view letters;
  const Command* command;
};
using CommandIndex = std::array<std::vector<Candidate>, 256>;

CommandIndex makeCommandIndex() {
  CommandIndex index;
  for (const Command& c : vocabulary()) index[static_cast<unsigned char>(c.letters[0])].push_back({c.letters, &c});
  for (auto& candidates : index)
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const Candidate& a, const Candidate& b) { return a.letters.size() > b.letters.size(); });
  return index;
}

// The command whose letters are the longest the request starts with; null for none.
const Command* findCommand(std::span<const std::uint8_t> request) {
  if (request.empty()) return nullptr;
  static const CommandIndex index = makeCommandIndex();
  for (const Candidate& c : index[request[0]]) {
    // Most candidates differ in the second letter already.
    if (c.letters.size() > 1 && (request.size() < 2 || request[1] != static_cast<std::uint8_t>(c.letters[1]))) continue;
    if (startsWith(request, c.letters)) return c.command;
  }
  return nullptr;
}

int hexValue(std::uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;  // arguments are upper-case digits
}

std::optional<Arguments> parseArguments(const Command& c, std::span<const std::uint8_t> request) {
  std::size_t at = std::string_view(c.letters).size();
  const std::string_view trailer = c.trailer;
  std::size_t expected = at + trailer.size();
  for (int digits : c.argumentDigits) expected += static_cast<std::size_t>(digits);
  if (request.size() != expected) return std::nullopt;
  Arguments args;
  assert(c.argumentDigits.size() <= kMostArguments);
  for (std::size_t n = 0; n < c.argumentDigits.size(); ++n) {
    std::uint32_t value = 0;
    for (int i = 0; i < c.argumentDigits[n]; ++i, ++at) {
      const int v = hexValue(request[at]);
      if (v < 0) return std::nullopt;
      value = value << 4 | static_cast<std::uint32_t>(v);
    }
    args.values[n] = value;
  }
  if (!std::equal(trailer.begin(), trailer.end(), request.begin() + static_cast<std::ptrdiff_t>(at)))
    return std::nullopt;
  return args;
}

Bytes nak(std::uint8_t code) { return {kNak, code}; }

bool appliesTo(const std::string& option, std::string_view command) {
  return !option.empty() && (option == "*" || option == command);
}

void makeShort(Bytes& reply) { reply.resize(std::max<std::size_t>(1, reply.size() / 2)); }

void makeNonHex(Bytes& reply) {
  for (std::size_t i = 1; i < reply.size(); ++i)
    if (hexValue(reply[i]) >= 0) reply[i] = 'G';
}

}  // namespace

CommandModel::CommandModel(DriveProfile profile, Misbehaviour misbehaviour)
    : profile_(std::move(profile)), misbehaviour_(std::move(misbehaviour)) {
  if (misbehaviour_.oversizedLayout) {
    DriveOptions options = profile_.options();
    options.groupSignals = {200, 40, 16, 0, 1};  // 257 signals: one more than a byte can count
    profile_ = DriveProfile(std::move(options));
  }
}

int CommandModel::recordNewFault() {
  DriveOptions options = profile_.options();
  ++options.newFaults;
  profile_ = DriveProfile(std::move(options));
  return profile_.latestNewFaultBank();
}

std::string CommandModel::commandOf(std::span<const std::uint8_t> request) {
  const Command* c = findCommand(request);
  return c ? c->letters : "";
}

namespace {

Bytes wellBehavedReply(const DriveProfile& profile, const Command* c, std::span<const std::uint8_t> request) {
  if (!c) return nak(kErrorUnknownCommand);
  const auto args = parseArguments(*c, request);
  if (!args) return nak(kErrorBadArgument);
  return c->build(profile, *args);
}

}  // namespace

std::vector<std::uint8_t> CommandModel::replyTo(std::span<const std::uint8_t> request) const {
  return wellBehavedReply(profile_, findCommand(request), request);
}

std::optional<std::vector<std::uint8_t>> CommandModel::answer(std::span<const std::uint8_t> request) {
  const int number = ++requestCount_;
  if (misbehaviour_.silent || number <= misbehaviour_.silentFirst) return std::nullopt;
  if (misbehaviour_.silentAfter > 0 && number > misbehaviour_.silentAfter) return std::nullopt;
  const Command* c = findCommand(request);
  const std::string_view command = c ? c->letters : "";
  if (number == misbehaviour_.nakRequestNumber || appliesTo(misbehaviour_.nakCommand, command))
    return nak(misbehaviour_.nakCode);
  Bytes reply = wellBehavedReply(profile_, c, request);
  if (reply.size() >= 1 && reply[0] == kNak) return reply;
  if (c && c->text && appliesTo(misbehaviour_.nonHexCommand, command)) makeNonHex(reply);
  if (appliesTo(misbehaviour_.shortCommand, command)) makeShort(reply);
  if (misbehaviour_.statusByte && !reply.empty()) reply[0] = *misbehaviour_.statusByte;
  if (appliesTo(misbehaviour_.headerOnlyCommand, command)) reply.clear();
  return reply;
}

}  // namespace drivesim
