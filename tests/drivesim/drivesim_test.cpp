// The simulated drive: reply layouts against its own profile, misbehaviour, and the UDP side.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <bit>
#include <tuple>
#include <string>

#include "drivesim/simulated_drive.h"

using namespace drivesim;

namespace {

std::vector<std::uint8_t> req(const std::string& text) { return {text.begin(), text.end()}; }
std::string text(const std::vector<std::uint8_t>& b) { return {b.begin(), b.end()}; }

std::uint32_t hexAt(const std::string& t, int position, int digits) {
  return static_cast<std::uint32_t>(std::stoul(t.substr(static_cast<std::size_t>(position - 1), static_cast<std::size_t>(digits)), nullptr, 16));
}
std::uint32_t big(const std::vector<std::uint8_t>& b, std::size_t at, int width) {
  std::uint32_t v = 0;
  for (int i = 0; i < width; ++i) v = v << 8 | b.at(at + static_cast<std::size_t>(i));
  return v;
}

}  // namespace

TEST(DriveSimReplies, IdentityLayoutAndBanksMatchTheProfile) {
  DriveOptions o;
  o.interfaceLevel = 6;
  o.interfaceMinor = 2;
  const CommandModel m{DriveProfile(o)};
  const DriveProfile& d = m.profile();

  const std::string qt = text(m.replyTo(req("QT")));
  EXPECT_EQ(qt.substr(2, 7), "V06.002");
  EXPECT_EQ(text(m.replyTo(req("Q1"))).substr(2), "RX-Fenn");
  EXPECT_EQ(text(m.replyTo(req("Q2"))).substr(2), "SIM01.00");
  EXPECT_EQ(text(m.replyTo(req("QA1"))).substr(2) + text(m.replyTo(req("QA2"))).substr(2), o.panelName);
  const std::string qu = text(m.replyTo(req("QU2")));
  ASSERT_EQ(qu.size(), 53u);
  EXPECT_EQ(hexAt(qu, 14, 4), 0x01B8u);
  EXPECT_EQ(hexAt(qu, 40, 5), o.ratings.motorSpeed);
  EXPECT_EQ(hexAt(qu, 51, 3), o.ratings.motorFrequency);

  const std::string mx1 = text(m.replyTo(req("MX1")));
  ASSERT_EQ(mx1.size(), 21u);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(hexAt(mx1, 2 * i + 2, 2), d.groupDepth(i + 1));
    EXPECT_EQ(hexAt(mx1, 2 * i + 12, 2), d.groupSignals(i + 1));
  }
  const std::string mx2 = text(m.replyTo(req("MX205")));
  const std::string mx3 = text(m.replyTo(req("MX305")));
  for (int k = 1; k <= 5; ++k) {
    EXPECT_EQ(static_cast<std::int32_t>(hexAt(mx2, 8 * k - 6, 8)), d.groupSampling(5, k));
    EXPECT_EQ(static_cast<std::int16_t>(hexAt(mx3, 4 * k - 2, 4)), d.groupFaultIndex(5, k));
  }
  // Recorded banks have a non-zero month..second; empty ones only a year.
  for (int bank = 0; bank < kBankCount; ++bank) {
    const std::string t = text(m.replyTo(req("MY10" + std::to_string(bank))));
    ASSERT_EQ(t.size(), 27u);
    const bool any = hexAt(t, 6, 2) || hexAt(t, 10, 2) || hexAt(t, 14, 2) || hexAt(t, 18, 2) || hexAt(t, 22, 2);
    EXPECT_EQ(any, d.bankRecorded(bank)) << bank;
    EXPECT_EQ(hexAt(t, 24, 4), d.bankTime(bank).year);
  }
  EXPECT_EQ(hexAt(text(m.replyTo(req("MY102"))), 6, 2), d.bankTime(2).hour);

  const auto f1 = m.replyTo(req("MY5102"));
  const auto f2 = m.replyTo(req("MY5202"));
  ASSERT_EQ(f1.size(), 63u);
  for (int k = 1; k <= 15; ++k) {
    EXPECT_EQ(static_cast<std::int16_t>(big(f1, 2 * k + 1, 2)), d.faultCode(2, k));
    EXPECT_EQ(static_cast<std::int16_t>(big(f1, 2 * k + 31, 2)), d.faultSample(2, k));
    EXPECT_EQ(static_cast<std::int16_t>(big(f2, 2 * k + 1, 2)), d.faultCode(2, k + 15));
  }
  EXPECT_EQ(text(m.replyTo(req("MV02"))).substr(2, 8), "SIM01.00");
}

TEST(DriveSimReplies, TextsInTheDrivesCodePage) {
  const DriveOptions o = JapaneseDrive();
  const CommandModel m{DriveProfile(o)};
  const platform::shell::CodePage cp932 = platform::shell::CodePage::Named("CP932").value();
  const std::string panel = cp932.toAnsi(o.panelName);
  const std::string first = text(m.replyTo(req("QA1"))).substr(2);
  EXPECT_EQ(first + text(m.replyTo(req("QA2"))).substr(2), panel);
  EXPECT_EQ(first.back(), '\x83');  // the first byte of "ン": the halves split it
  EXPECT_EQ(text(m.replyTo(req("Q3"))).substr(2), cp932.toAnsi(o.orderNumber1));
  // The panel name parameter holds the same bytes, four to a 32-bit value, low byte first.
  const auto word = [&](std::int64_t address) {
    return static_cast<std::uint16_t>(m.profile().records().memoryWord(address));
  };
  const auto bytePair = [&](std::size_t low) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned>(static_cast<std::uint8_t>(panel[k])); };
    return static_cast<std::uint16_t>(byte(low) | byte(low + 1) << 8);
  };
  EXPECT_EQ(word(0x2405903A), bytePair(0));
  EXPECT_EQ(word(0x24059038), bytePair(2));

  Misbehaviour status;
  status.statusByte = 0x83;
  CommandModel other{DriveProfile(o), status};
  EXPECT_EQ(other.answer(req("QT"))->front(), 0x83);
  EXPECT_EQ(other.answer(req("ZS"))->front(), 0x83);

  DriveOptions unknown;
  unknown.codePage = "no-such-code-page";
  EXPECT_THROW(DriveProfile{unknown}, std::invalid_argument);
}

TEST(DriveSimReplies, AddressesSamplesAndArchive) {
  const CommandModel m{DriveProfile()};
  const DriveProfile& d = m.profile();
  const std::string mz1 = text(m.replyTo(req("MZ10201")));
  ASSERT_EQ(mz1.size(), 35u);
  for (int k = 1; k <= 8; ++k) EXPECT_EQ(hexAt(mz1, 4 * k, 4), d.signalAddress16(2, k));
  const auto wide = m.replyTo(req("mz10202"));
  ASSERT_EQ(wide.size(), 131u);
  EXPECT_EQ(big(wide, 3, 4), d.signalAddress32(2, 33));  // past the layout: 0
  const auto narrow = m.replyTo(req("Mz10201"));
  ASSERT_EQ(narrow.size(), 35u);
  EXPECT_EQ(big(narrow, 3, 4), 0x00010000u);
  EXPECT_EQ(big(narrow, 4 * 8 - 1, 4), d.signalAddress32(2, 8));

  const auto s16 = m.replyTo(req("MZ2020302"));
  ASSERT_EQ(s16.size(), 63u);
  for (int k = 1; k <= 31; ++k)
    EXPECT_EQ(static_cast<std::int16_t>(big(s16, 2 * k - 1, 2)), d.sample16(2, 3, 31 + k));
  const auto s32 = m.replyTo(req("Mz2020301"));
  ASSERT_EQ(s32.size(), 61u);
  const auto sw = m.replyTo(req("mzx020302"));
  ASSERT_EQ(sw.size(), 245u);
  for (int k = 1; k <= 15; ++k) EXPECT_EQ(static_cast<std::int32_t>(big(s32, 4 * k - 3, 4)), d.sample32(2, 3, k));
  for (int k = 1; k <= 61; ++k) EXPECT_EQ(static_cast<std::int32_t>(big(sw, 4 * k - 3, 4)), d.sample32(2, 3, 61 + k));
  bool negative = false;
  for (int i = 1; i <= 256; ++i) negative |= d.sample32(0, 2, i) < 0;
  EXPECT_TRUE(negative);
  // The database codes signal 3's address "F": its samples are floats a workbook can show.
  ASSERT_EQ(d.signalAddress32(2, 3), 0x00010008u);
  for (int i = 1; i <= 64; ++i)
    EXPECT_FLOAT_EQ(std::bit_cast<float>(d.sample32(2, 3, i)), static_cast<float>(d.sample16(2, 3, i)) / 10.0f) << i;

  // No archive: an erased area; with one: its bytes, zeros past its end.
  const std::string fb = text(m.replyTo(req("FB")));
  EXPECT_EQ(hexAt(fb, 3, 8), d.archiveSize());
  EXPECT_EQ(m.replyTo(req("FR0000"))[2], 0xFF);
  DriveOptions o;
  o.archive = std::vector<std::uint8_t>(70, 0x41);
  const CommandModel withArchive{DriveProfile(o)};
  EXPECT_EQ(hexAt(text(withArchive.replyTo(req("FB"))), 3, 8), 70u);
  const auto block1 = withArchive.replyTo(req("FR0001"));
  ASSERT_EQ(block1.size(), 64u);
  EXPECT_EQ(block1[2 + 7], 0x41);
  EXPECT_EQ(block1[2 + 8], 0);

  // Record images come from the same drive; unknown or malformed requests are refused.
  EXPECT_EQ(m.replyTo(req("Lp24058C00F")), d.records().memoryBlockReply(0x24058C00));
  EXPECT_EQ(m.replyTo(req("LP003CF")), d.records().memoryBlockReply(0x3C));
  EXPECT_EQ(text(m.replyTo(req("J"))), d.records().clockReply());
  EXPECT_EQ(m.replyTo(req("EVT3")), d.records().eventTimesReply(3));
  EXPECT_EQ(m.replyTo(req("XX")), (std::vector<std::uint8_t>{kNak, kErrorUnknownCommand}));
  EXPECT_EQ(m.replyTo(req("MX2")), (std::vector<std::uint8_t>{kNak, kErrorBadArgument}));
  EXPECT_EQ(m.replyTo(req("MX20a")), (std::vector<std::uint8_t>{kNak, kErrorBadArgument}));
  EXPECT_EQ(m.replyTo(req("LP003CX")), (std::vector<std::uint8_t>{kNak, kErrorBadArgument}));
}

TEST(DriveSimMisbehaviour, NakSilenceShortNonHexAndOversized) {
  Misbehaviour bad;
  bad.nakCommand = "MX2";
  bad.nakRequestNumber = 2;
  bad.nakCode = 3;
  bad.silentFirst = 1;
  CommandModel m{DriveProfile(), bad};
  EXPECT_FALSE(m.answer(req("QT")).has_value());
  EXPECT_EQ(*m.answer(req("QT")), (std::vector<std::uint8_t>{kNak, 3}));
  EXPECT_EQ(m.answer(req("QT"))->at(0), kAck);
  EXPECT_EQ(*m.answer(req("MX201")), (std::vector<std::uint8_t>{kNak, 3}));
  EXPECT_EQ(m.requestsAnswered(), 4);

  Misbehaviour cut;
  cut.shortCommand = "MX1";
  cut.nonHexCommand = "*";
  cut.oversizedLayout = true;
  CommandModel c{DriveProfile(), cut};
  const std::string mx1 = text(*c.answer(req("MX1")));
  EXPECT_EQ(mx1.size(), 10u);
  EXPECT_EQ(mx1.substr(1), std::string(9, 'G'));
  EXPECT_GT(c.profile().signalsPerBank(), 255);
  EXPECT_EQ(c.answer(req("EV1"))->size(), 34u);  // binary replies keep their bytes

  Misbehaviour mute;
  mute.silent = true;
  EXPECT_FALSE(CommandModel(DriveProfile(), mute).answer(req("QT")).has_value());
}

namespace {

struct Client {
  int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  explicit Client(timeval wait = {2, 0}) { ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait); }
  ~Client() { ::close(fd); }
  void send(std::uint16_t port, const std::vector<std::uint8_t>& bytes) const {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(port);
    ::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  }
  std::vector<std::uint8_t> receive() const {
    std::vector<std::uint8_t> b(2048);
    const ssize_t n = ::recv(fd, b.data(), b.size(), 0);
    b.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return b;
  }
};

}  // namespace

TEST(DriveSimTransport, AnswersOnLoopbackWithMirroredHeaderAndRefusesOtherAddresses) {
  namespace fr = velkor::framing;
  Misbehaviour late;
  late.delayMs = 20;
  SimulatedDrive sim(DriveProfile(), late);
  std::string error;
  ASSERT_TRUE(sim.start({}, error)) << error;
  ASSERT_NE(sim.port(), 0);

  const fr::HeaderFields h{.addressWord = fr::packAddressWord(1, 2, 3), .station = 7, .da = 0x11, .sa = 0x22, .seqNumber = 0x1234};
  Client client;
  client.send(sim.port(), fr::buildDatagram(h, req("MX1"), {}));
  client.send(sim.port(), {'R', 'S', '0', '0'});  // not a request: ignored
  const auto reply = client.receive();
  ASSERT_GE(reply.size(), fr::kHeaderSize);
  const auto decoded = fr::decodeDatagram(reply, {});
  EXPECT_EQ(decoded.fields.marker, fr::kMarkerReply);
  EXPECT_EQ(std::tuple(decoded.fields.addressWord, decoded.fields.station, decoded.fields.da, decoded.fields.sa, decoded.fields.seqNumber),
            std::tuple(h.addressWord, std::uint16_t{7}, std::uint8_t{0x11}, std::uint8_t{0x22}, std::uint16_t{0x1234}));
  EXPECT_EQ(std::vector<std::uint8_t>(decoded.payload.begin(), decoded.payload.end()), CommandModel(sim.profile()).replyTo(req("MX1")));
  EXPECT_EQ(sim.requests(), (std::vector<std::vector<std::uint8_t>>{req("MX1")}));
  sim.stop();
  sim.stop();  // twice is harmless

  SimulatedDrive other{DriveProfile()};
  EXPECT_FALSE(other.start({"10.0.0.1", 0, {}}, error));
  EXPECT_NE(error.find("127.0.0.0/8"), std::string::npos);
  EXPECT_FALSE(other.start({"0.0.0.0", 0, {}}, error));
  EXPECT_FALSE(other.start({"localhost", 0, {}}, error));
  EXPECT_TRUE(IsLoopbackAddress("127.1.2.3"));
  EXPECT_FALSE(IsLoopbackAddress("255.255.255.255"));
}

TEST(DriveSimTransport, HeaderOnlyRepliesAndAnAnswerAfterTheKthReSendToTheFirstSender) {
  namespace fr = velkor::framing;
  Misbehaviour cut;
  cut.headerOnlyCommand = "QT";
  cut.headerOnlyBytes = 19;
  SimulatedDrive headerOnly(DriveProfile(), cut);
  std::string error;
  ASSERT_TRUE(headerOnly.start({}, error)) << error;
  Client client;
  client.send(headerOnly.port(), fr::buildDatagram({}, req("QT"), {}));
  EXPECT_EQ(client.receive().size(), 19u);
  client.send(headerOnly.port(), fr::buildDatagram({}, req("Q1"), {}));  // other commands keep their payload
  EXPECT_EQ(fr::decodeDatagram(client.receive(), {}).payloadLength, 9u);  // ACK, "0", "RX-Fenn"
  headerOnly.stop();

  // Each sending from a port of its own, as a tool that rebinds for every re-send would: only
  // the first one's port gets the answer, once the second re-send is in.
  Misbehaviour late;
  late.answerAfterResends = 2;
  SimulatedDrive drive(DriveProfile(), late);
  ASSERT_TRUE(drive.start({}, error)) << error;
  const auto request = fr::buildDatagram({}, req("MX1"), {});
  Client first({0, 200000}), second({0, 200000}), third({0, 200000});
  first.send(drive.port(), request);
  second.send(drive.port(), request);
  EXPECT_TRUE(first.receive().empty());
  third.send(drive.port(), request);
  const auto reply = first.receive();
  ASSERT_GE(reply.size(), fr::kHeaderSize);
  EXPECT_EQ(fr::decodeDatagram(reply, {}).payloadLength, 21u);
  EXPECT_TRUE(second.receive().empty());
  EXPECT_TRUE(third.receive().empty());
  // The next request starts its own count.
  first.send(drive.port(), fr::buildDatagram({}, req("QT"), {}));
  EXPECT_TRUE(first.receive().empty());
  EXPECT_EQ(drive.requestCount(), 4u);
}

TEST(DriveSimNewFaults, FillTheEmptyBanksThenOverwriteTheOldestWithNewStampsAndLists) {
  DriveOptions o;
  o.recordedBanks = {0, 2, 5, 6, 7};
  CommandModel m{DriveProfile(o)};
  const DriveProfile before = m.profile();
  std::vector<int> banks;
  for (int k = 1; k <= 5; ++k) banks.push_back(m.recordNewFault());
  // Banks 1, 3 and 4 were empty; then bank 0 (2014) and bank 2 (2016) were the oldest.
  EXPECT_EQ(banks, (std::vector<int>{1, 3, 4, 0, 2}));
  const DriveProfile& d = m.profile();
  const std::string t = text(m.replyTo(req("MY100")));
  EXPECT_EQ(hexAt(t, 24, 4), 26u);
  EXPECT_EQ(hexAt(t, 10, 2), NewFaultTime(4).minute);
  bool listDiffers = false;
  for (int e = 1; e <= 6; ++e) listDiffers |= d.faultCode(0, e) != before.faultCode(0, e);
  EXPECT_TRUE(listDiffers);
  EXPECT_EQ(d.bankTime(5).year, before.bankTime(5).year);  // untouched banks keep theirs
}
