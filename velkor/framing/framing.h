#pragma once
// The 20-byte datagram header of the drive network: build and parse.
//
// API in brief:
//   HeaderFields     every header field as a number (marker and result as two bytes each).
//   ByteOrders       the RIO switch (offsets 4, 6, 8) and the V27 switch (13, 16, 18);
//                    true = most significant byte first, false (default) = least first.
//   buildDatagram()  header fields + payload -> wire bytes; fills both length fields from
//                    the payload length (payload cut to 246 bytes).
//   decodeDatagram() received bytes -> fields + payload view. Never reads past the bytes
//                    given: missing header bytes read as 0, and the payload length taken
//                    from the V27 length is capped at the bytes actually received.
//   markerAccepted() the direction-marker test of the receive side (tool or RIO role).
//   PrebuiltHeader   the header a control keeps and refreshes field by field as its
//                    properties are assigned; sendDatagram() fills the lengths.
// All functions are pure and bounds-checked; any byte string is safe input.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace velkor::framing {

// Sizes.
inline constexpr std::size_t kHeaderSize = 20;
inline constexpr std::size_t kMaxPayload = 246;
inline constexpr std::size_t kMaxDatagram = kHeaderSize + kMaxPayload;  // 266
// A received datagram shorter than this is dropped without a word.
inline constexpr std::size_t kMinAcceptedSize = 10;

// Field offsets from the start of the UDP payload.
inline constexpr std::size_t kOffMarker = 0;        // 2 bytes
inline constexpr std::size_t kOffResult = 2;        // 2 bytes
inline constexpr std::size_t kOffRioAddress = 4;    // 16-bit, RIO order
inline constexpr std::size_t kOffRioStation = 6;    // 16-bit, RIO order
inline constexpr std::size_t kOffRioLength = 8;     // 16-bit, RIO order
inline constexpr std::size_t kOffV27DA = 10;
inline constexpr std::size_t kOffV27SA = 11;
inline constexpr std::size_t kOffV27FT0 = 12;
inline constexpr std::size_t kOffV27Length = 13;    // 16-bit, V27 order: PN bits 11-15, LL/LH bits 0-10
inline constexpr std::size_t kOffV27ID = 15;
inline constexpr std::size_t kOffPasswordId = 16;   // 16-bit, V27 order
inline constexpr std::size_t kOffSeqNumber = 18;    // 16-bit, V27 order
inline constexpr std::size_t kOffPayload = 20;

// Bytes counted by the two length fields besides the payload.
inline constexpr std::uint16_t kRioLengthOverhead = 10;  // offsets 10-19
inline constexpr std::uint16_t kV27LengthOverhead = 5;   // offsets 15-19
inline constexpr std::uint16_t kV27LengthMask = 0x07FF;  // bits 0-10
inline constexpr unsigned kV27PnShift = 11;              // bits 11-15
inline constexpr std::uint16_t kMinValidV27Length = 5;
inline constexpr std::uint16_t kMaxValidV27Length = 251;

// Constants.
inline constexpr std::uint8_t kFrameTypeFT0 = 0x40;
inline constexpr std::uint8_t kIdRequest = 0x76;   // 'v'
inline constexpr std::uint8_t kIdLoopBack = 0x74;  // 't'
inline constexpr std::array<std::uint8_t, 2> kMarkerRequest = {'S', 'N'};  // tool to drive
inline constexpr std::array<std::uint8_t, 2> kMarkerReply = {'R', 'S'};    // drive to tool
inline constexpr std::array<std::uint8_t, 2> kResultDefault = {'0', '0'};

// RIO address word: bus bits 7-8, unit bits 4-6, slot bits 0-3.
inline constexpr unsigned kBusShift = 7, kUnitShift = 4;
inline constexpr std::uint16_t kBusMask = 3, kUnitMask = 7, kSlotMask = 15;
inline constexpr std::uint16_t kKeepForBus = 0x007F;   // bits 0-6
inline constexpr std::uint16_t kKeepForUnit = 0x018F;  // bits 0-3 and 7-8
inline constexpr std::uint16_t kKeepForSlot = 0x01F0;  // bits 4-8

struct ByteOrders {
  bool rioMsbFirst = false;
  bool v27MsbFirst = false;
};

struct HeaderFields {
  std::array<std::uint8_t, 2> marker = kMarkerRequest;
  std::array<std::uint8_t, 2> result = kResultDefault;
  std::uint16_t addressWord = 0;
  std::uint16_t station = 0;
  std::uint16_t rioLength = 0;  // ignored by buildDatagram (computed)
  std::uint8_t da = 0, sa = 0;
  std::uint8_t ft0 = kFrameTypeFT0;
  std::uint16_t pn = 0;         // 5 bits
  std::uint16_t v27Length = 0;  // ignored by buildDatagram (computed)
  std::uint8_t id = kIdRequest;
  std::uint16_t passwordId = 0;
  std::uint16_t seqNumber = 0;
};

// 16-bit field access in the chosen order; out-of-range offsets write nothing / read 0.
void put16(std::span<std::uint8_t> buf, std::size_t offset, std::uint16_t value, bool msbFirst);
std::uint16_t get16(std::span<const std::uint8_t> buf, std::size_t offset, bool msbFirst);

// Masks out-of-range arguments (used for individually built headers).
std::uint16_t packAddressWord(std::int32_t bus, std::int32_t unit, std::int32_t slot);

// Header plus payload (payload cut to kMaxPayload); fills the RIO and V27 lengths.
std::vector<std::uint8_t> buildDatagram(const HeaderFields& fields, std::span<const std::uint8_t> payload,
                                        ByteOrders orders);
// The same into `out`, keeping its storage: a sender that answers datagram after datagram
// allocates once.
void buildDatagram(const HeaderFields& fields, std::span<const std::uint8_t> payload, ByteOrders orders,
                   std::vector<std::uint8_t>& out);

// The header of OutputIndividually / OutputIndividually2: result bytes zero, routing masked.
HeaderFields individualHeader(bool loopBack, std::int32_t bus, std::int32_t unit, std::int32_t slot,
                              std::int32_t station, std::int32_t da, std::int32_t sa);

struct DecodedDatagram {
  HeaderFields fields;
  std::string result;           // the result characters up to the first zero byte
  std::size_t payloadLength = 0;
  std::span<const std::uint8_t> payload;  // view into the decoded bytes
};

// Payload length by the V27 length rule (LL/LH - 5, or 246 when outside 5..251), capped at
// what was actually received beyond the header.
std::size_t payloadLengthFor(std::uint16_t v27Length, std::size_t receivedSize);

DecodedDatagram decodeDatagram(std::span<const std::uint8_t> received, ByteOrders orders);

// Tool role accepts replies ("RS"), RIO role accepts requests ("SN").
bool markerAccepted(std::span<const std::uint8_t> firstBytes, bool receiveAsRio);

// Bytes as two upper-case hex digits each, separated by one space.
std::string hexText(std::span<const std::uint8_t> bytes);

// The header a control keeps, with the refresh rule of each property.
class PrebuiltHeader {
 public:
  PrebuiltHeader();

  void setBus(std::int32_t bus, bool rioMsbFirst);
  void setUnit(std::int32_t unit, bool rioMsbFirst);
  void setSlot(std::int32_t slot, bool rioMsbFirst);
  void setStation(std::int32_t station, bool rioMsbFirst);
  void setDA(std::int32_t da);
  void setSA(std::int32_t sa);
  void setPasswordId(std::int32_t value, bool v27MsbFirst);
  void setSeqNumber(std::int32_t value, bool v27MsbFirst);
  void setLoopBack(bool on);
  // First two bytes of the text if it has at least two, else "00".
  void setResult(const std::string& text);
  std::string resultText() const;
  // Rewrites address word and station after a change of the RIO switch.
  void rewriteRio(std::int32_t bus, std::int32_t unit, std::int32_t slot, std::int32_t station,
                  bool rioMsbFirst);

  // Copies the payload (cut to 246) behind the header, fills the lengths and returns the
  // datagram's size.
  std::size_t fillForSend(std::span<const std::uint8_t> payload, ByteOrders orders);

  std::span<const std::uint8_t> bytes(std::size_t count) const;
  const std::array<std::uint8_t, kMaxDatagram>& buffer() const { return buf_; }

 private:
  void updateAddressWord(std::uint16_t keepMask, std::uint16_t bits, bool rioMsbFirst);
  std::array<std::uint8_t, kMaxDatagram> buf_{};
};

}  // namespace velkor::framing
