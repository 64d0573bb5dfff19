// Header bytes against hand-computed strings, byte orders, length caps and the parser's
// behaviour on short, long and random input.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "velkor/framing/framing.h"

using namespace velkor::framing;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes fromHex(const std::string& text) {
  Bytes out;
  std::string digits;
  for (char c : text) {
    if (std::isxdigit(static_cast<unsigned char>(c))) digits.push_back(c);
  }
  for (std::size_t i = 0; i + 1 < digits.size(); i += 2) {
    out.push_back(static_cast<std::uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
  }
  return out;
}

Bytes payloadOf(const std::string& s) { return Bytes(s.begin(), s.end()); }

}  // namespace

TEST(Framing, WorkedExampleAndDefaultsGiveHandComputedBytes) {
  const Bytes qt = payloadOf("QT");
  const Bytes expected = fromHex("53 4E 30 30 00 00 00 00 0C 00 00 00 40 07 00 76 00 00 00 00 51 54");
  EXPECT_EQ(buildDatagram(HeaderFields{}, qt, ByteOrders{}), expected);

  PrebuiltHeader header;
  const std::size_t size = header.fillForSend(qt, ByteOrders{});
  ASSERT_EQ(size, 22u);
  const auto sent = header.bytes(size);
  EXPECT_EQ(Bytes(sent.begin(), sent.end()), expected);
}

TEST(Framing, BothByteOrdersPlaceEverySixteenBitField) {
  HeaderFields f;
  f.addressWord = packAddressWord(1, 2, 3);
  EXPECT_EQ(f.addressWord, 0x00A3);
  f.station = 0x0102;
  f.da = 0x11;
  f.sa = 0x22;
  f.passwordId = 0x1234;
  f.seqNumber = 0xABCD;
  const Bytes payload = payloadOf("ABC");

  EXPECT_EQ(buildDatagram(f, payload, ByteOrders{false, false}),
            fromHex("53 4E 30 30 A3 00 02 01 0D 00 11 22 40 08 00 76 34 12 CD AB 41 42 43"));
  EXPECT_EQ(buildDatagram(f, payload, ByteOrders{true, false}),
            fromHex("53 4E 30 30 00 A3 01 02 00 0D 11 22 40 08 00 76 34 12 CD AB 41 42 43"));
  EXPECT_EQ(buildDatagram(f, payload, ByteOrders{false, true}),
            fromHex("53 4E 30 30 A3 00 02 01 0D 00 11 22 40 00 08 76 12 34 AB CD 41 42 43"));
  EXPECT_EQ(buildDatagram(f, payload, ByteOrders{true, true}),
            fromHex("53 4E 30 30 00 A3 01 02 00 0D 11 22 40 00 08 76 12 34 AB CD 41 42 43"));

  // Whatever order built it, the same order decodes it back.
  for (int o = 0; o < 4; ++o) {
    const ByteOrders orders{(o & 1) != 0, (o & 2) != 0};
    HeaderFields reply = f;
    reply.marker = kMarkerReply;
    reply.pn = 0x1F;
    const Bytes wire = buildDatagram(reply, payload, orders);
    const auto d = decodeDatagram(wire, orders);
    EXPECT_EQ(buildDatagram(d.fields, d.payload, orders), wire);  // every field and the payload back
    EXPECT_EQ(d.fields.rioLength, 13);
    EXPECT_EQ(d.fields.v27Length, 8);
    EXPECT_EQ(d.fields.pn, 0x1F);
    EXPECT_EQ(d.result, "00");
  }
}

TEST(Framing, PayloadLengthsAndCaps) {
  const Bytes empty = buildDatagram(HeaderFields{}, {}, ByteOrders{});
  ASSERT_EQ(empty.size(), 20u);
  EXPECT_EQ(get16(empty, kOffRioLength, false), 10);
  EXPECT_EQ(get16(empty, kOffV27Length, false), 5);

  const Bytes big(300, 0x55);
  const Bytes cut = buildDatagram(HeaderFields{}, big, ByteOrders{});
  ASSERT_EQ(cut.size(), 266u);
  EXPECT_EQ(get16(cut, kOffRioLength, false), 256);
  EXPECT_EQ(get16(cut, kOffV27Length, false), 251);

  PrebuiltHeader header;
  EXPECT_EQ(header.fillForSend(big, ByteOrders{true, true}), 266u);
  EXPECT_EQ(get16(header.buffer(), kOffRioLength, true), 256);
  EXPECT_EQ(get16(header.buffer(), kOffV27Length, true), 251);

  // Out-of-range V27 lengths mean 246, but never more than what arrived.
  const struct {
    std::uint16_t v27Length;
    std::size_t arrived, payload;
  } lengths[] = {{4, 266, 246},   {252, 266, 246}, {0x7FF, 266, 246}, {5, 266, 0},
                 {251, 266, 246}, {4, 30, 10},     {100, 22, 2},      {100, 15, 0}};
  for (const auto& k : lengths)
    EXPECT_EQ(payloadLengthFor(k.v27Length, k.arrived), k.payload) << k.v27Length << " of " << k.arrived;
}

TEST(Framing, ShortDatagramsReadMissingHeaderBytesAsZero) {
  const auto d = decodeDatagram(fromHex("52 53 41 42 A3 00 02 01 0D 00 11 22"), ByteOrders{});
  EXPECT_EQ(d.result, "AB");
  EXPECT_EQ(d.fields.da, 0x11);
  EXPECT_EQ(d.fields.sa, 0x22);
  for (const int missing : std::initializer_list<int>{d.fields.ft0, d.fields.v27Length, d.fields.id, d.fields.passwordId, d.fields.seqNumber})
    EXPECT_EQ(missing, 0);
  EXPECT_EQ(d.payloadLength, 0u);
  EXPECT_TRUE(d.payload.empty());

  Bytes zeroResult = buildDatagram(HeaderFields{}, {}, ByteOrders{});
  zeroResult[kOffResult] = 0;
  EXPECT_EQ(decodeDatagram(zeroResult, ByteOrders{}).result, "");
  zeroResult[kOffResult] = 'E';
  zeroResult[kOffResult + 1] = 0;
  EXPECT_EQ(decodeDatagram(zeroResult, ByteOrders{}).result, "E");
}

TEST(Framing, MarkerDependsOnRole) {
  const Bytes rs = payloadOf("RS"), sn = payloadOf("SN");
  EXPECT_TRUE(markerAccepted(rs, false));
  EXPECT_FALSE(markerAccepted(sn, false));
  EXPECT_TRUE(markerAccepted(sn, true));
  EXPECT_FALSE(markerAccepted(rs, true));
  EXPECT_FALSE(markerAccepted(payloadOf("RN"), false));
  EXPECT_FALSE(markerAccepted(Bytes{'R'}, false));
}

TEST(Framing, PrebuiltHeaderRefreshRules) {
  PrebuiltHeader h;
  auto bytesAt = [&](std::size_t offset, std::size_t count) {
    return hexText(std::span<const std::uint8_t>(h.buffer()).subspan(offset, count));
  };
  h.setBus(1, false);
  h.setUnit(2, false);
  h.setSlot(3, false);
  EXPECT_EQ(bytesAt(4, 2), "A3 00");
  h.setUnit(7, false);
  EXPECT_EQ(get16(h.buffer(), kOffRioAddress, false), 0x00F3);
  h.setSlot(15, false);
  h.setBus(3, false);
  EXPECT_EQ(get16(h.buffer(), kOffRioAddress, false), 0x01FF);

  // Switching the RIO order rewrites address word and station.
  h.setStation(64, false);
  h.rewriteRio(1, 2, 3, 64, true);
  EXPECT_EQ(bytesAt(4, 4), "00 A3 00 40");

  // Password keeps the order it was written in until written again.
  h.setPasswordId(0x1234, false);
  EXPECT_EQ(bytesAt(16, 2), "34 12");
  h.setPasswordId(0x51234, true);
  EXPECT_EQ(bytesAt(16, 2), "12 34");
}

TEST(Framing, IndividualHeaderMasksArguments) {
  const HeaderFields f = individualHeader(true, 5, 9, 17, 0x12345, 0x141, -1);
  EXPECT_EQ(f.marker, kMarkerReply);
  EXPECT_EQ(f.id, kIdLoopBack);
  EXPECT_EQ(f.result[0], 0);
  EXPECT_EQ(f.result[1], 0);
  EXPECT_EQ(f.addressWord, packAddressWord(1, 1, 1));
  EXPECT_EQ(f.station, 0x2345);
  EXPECT_EQ(f.da, 0x41);
  EXPECT_EQ(f.sa, 0xFF);
}

TEST(Framing, HexText) {
  EXPECT_EQ(hexText(Bytes{0x0A, 0xFF, 0x00}), "0A FF 00");
  EXPECT_EQ(hexText({}), "");
}

TEST(Framing, RandomInputNeverReadsOutsideTheBytesGiven) {
  std::mt19937 rng(12345);
  for (int round = 0; round < 20000; ++round) {
    const std::size_t size = rng() % 300;
    // A heap copy of exactly this size lets the sanitizer build catch any overread.
    auto data = std::make_unique<std::uint8_t[]>(size ? size : 1);
    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>(rng());
    const std::span<const std::uint8_t> bytes(data.get(), size);
    const auto d = decodeDatagram(bytes, ByteOrders{(round & 1) != 0, (round & 2) != 0});
    ASSERT_LE(d.payloadLength, kMaxPayload);
    ASSERT_EQ(d.payload.size(), d.payloadLength);
    ASSERT_LE(kHeaderSize + d.payloadLength, std::max(size, kHeaderSize));
    unsigned sum = 0;
    for (std::uint8_t b : d.payload) sum += b;
    (void)sum;
  }
}
