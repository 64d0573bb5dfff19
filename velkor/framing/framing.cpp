#include "velkor/framing/framing.h"

#include <algorithm>
#include <cstdio>

namespace velkor::framing {

namespace {

std::uint8_t byteAt(std::span<const std::uint8_t> buf, std::size_t offset) {
  return offset < buf.size() ? buf[offset] : 0;
}

std::uint16_t lowWord(std::int32_t value) { return static_cast<std::uint16_t>(value & 0xFFFF); }
std::uint8_t lowByte(std::int32_t value) { return static_cast<std::uint8_t>(value & 0xFF); }

void writeFixedFields(std::span<std::uint8_t> buf, const HeaderFields& f, ByteOrders orders) {
  buf[kOffMarker] = f.marker[0];
  buf[kOffMarker + 1] = f.marker[1];
  buf[kOffResult] = f.result[0];
  buf[kOffResult + 1] = f.result[1];
  put16(buf, kOffRioAddress, f.addressWord, orders.rioMsbFirst);
  put16(buf, kOffRioStation, f.station, orders.rioMsbFirst);
  buf[kOffV27DA] = f.da;
  buf[kOffV27SA] = f.sa;
  buf[kOffV27FT0] = f.ft0;
  buf[kOffV27ID] = f.id;
  put16(buf, kOffPasswordId, f.passwordId, orders.v27MsbFirst);
  put16(buf, kOffSeqNumber, f.seqNumber, orders.v27MsbFirst);
}

void writeLengths(std::span<std::uint8_t> buf, std::size_t payloadLength, std::uint16_t pn, ByteOrders orders) {
  const auto n = static_cast<std::uint16_t>(payloadLength);
  put16(buf, kOffRioLength, static_cast<std::uint16_t>(n + kRioLengthOverhead), orders.rioMsbFirst);
  const auto v27 = static_cast<std::uint16_t>(((pn << kV27PnShift) & ~kV27LengthMask) |
                                              ((n + kV27LengthOverhead) & kV27LengthMask));
  put16(buf, kOffV27Length, v27, orders.v27MsbFirst);
}

}  // namespace

void put16(std::span<std::uint8_t> buf, std::size_t offset, std::uint16_t value, bool msbFirst) {
  if (offset + 2 > buf.size()) return;
  const auto hi = static_cast<std::uint8_t>(value >> 8);
  const auto lo = static_cast<std::uint8_t>(value & 0xFF);
  buf[offset] = msbFirst ? hi : lo;
  buf[offset + 1] = msbFirst ? lo : hi;
}

std::uint16_t get16(std::span<const std::uint8_t> buf, std::size_t offset, bool msbFirst) {
  const std::uint8_t first = byteAt(buf, offset);
  const std::uint8_t second = byteAt(buf, offset + 1);
  return msbFirst ? static_cast<std::uint16_t>(first << 8 | second) : static_cast<std::uint16_t>(second << 8 | first);
}

std::uint16_t packAddressWord(std::int32_t bus, std::int32_t unit, std::int32_t slot) {
  return static_cast<std::uint16_t>(((bus & kBusMask) << kBusShift) | ((unit & kUnitMask) << kUnitShift) |
                                    (slot & kSlotMask));
}

std::vector<std::uint8_t> buildDatagram(const HeaderFields& fields, std::span<const std::uint8_t> payload,
                                        ByteOrders orders) {
  std::vector<std::uint8_t> out;
  buildDatagram(fields, payload, orders, out);
  return out;
}

void buildDatagram(const HeaderFields& fields, std::span<const std::uint8_t> payload, ByteOrders orders,
                   std::vector<std::uint8_t>& out) {
  const std::size_t n = std::min(payload.size(), kMaxPayload);
  out.assign(kHeaderSize + n, 0);
  writeFixedFields(out, fields, orders);
  writeLengths(out, n, fields.pn, orders);
  std::copy_n(payload.begin(), n, out.begin() + kOffPayload);
}

HeaderFields individualHeader(bool loopBack, std::int32_t bus, std::int32_t unit, std::int32_t slot,
                              std::int32_t station, std::int32_t da, std::int32_t sa) {
  HeaderFields f;
  f.marker = loopBack ? kMarkerReply : kMarkerRequest;
  f.id = loopBack ? kIdLoopBack : kIdRequest;
  f.result = {0, 0};
  f.addressWord = packAddressWord(bus, unit, slot);
  f.station = lowWord(station);
  f.da = lowByte(da);
  f.sa = lowByte(sa);
  return f;
}

std::size_t payloadLengthFor(std::uint16_t v27Length, std::size_t receivedSize) {
  const std::size_t declared = (v27Length >= kMinValidV27Length && v27Length <= kMaxValidV27Length)
                                   ? static_cast<std::size_t>(v27Length - kV27LengthOverhead)
                                   : kMaxPayload;
  const std::size_t available = receivedSize > kHeaderSize ? receivedSize - kHeaderSize : 0;
  return std::min({declared, available, kMaxPayload});
}

DecodedDatagram decodeDatagram(std::span<const std::uint8_t> received, ByteOrders orders) {
  DecodedDatagram d;
  HeaderFields& f = d.fields;
  f.marker = {byteAt(received, kOffMarker), byteAt(received, kOffMarker + 1)};
  f.result = {byteAt(received, kOffResult), byteAt(received, kOffResult + 1)};
  f.addressWord = get16(received, kOffRioAddress, orders.rioMsbFirst);
  f.station = get16(received, kOffRioStation, orders.rioMsbFirst);
  f.rioLength = get16(received, kOffRioLength, orders.rioMsbFirst);
  f.da = byteAt(received, kOffV27DA);
  f.sa = byteAt(received, kOffV27SA);
  f.ft0 = byteAt(received, kOffV27FT0);
  const std::uint16_t word = get16(received, kOffV27Length, orders.v27MsbFirst);
  f.pn = static_cast<std::uint16_t>(word >> kV27PnShift);
  f.v27Length = static_cast<std::uint16_t>(word & kV27LengthMask);
  f.id = byteAt(received, kOffV27ID);
  f.passwordId = get16(received, kOffPasswordId, orders.v27MsbFirst);
  f.seqNumber = get16(received, kOffSeqNumber, orders.v27MsbFirst);

  for (std::uint8_t c : f.result) {
    if (c == 0) break;
    d.result.push_back(static_cast<char>(c));
  }
  d.payloadLength = payloadLengthFor(f.v27Length, received.size());
  if (d.payloadLength > 0) d.payload = received.subspan(kOffPayload, d.payloadLength);
  return d;
}

bool markerAccepted(std::span<const std::uint8_t> firstBytes, bool receiveAsRio) {
  if (firstBytes.size() < 2) return false;
  const auto& wanted = receiveAsRio ? kMarkerRequest : kMarkerReply;
  return firstBytes[0] == wanted[0] && firstBytes[1] == wanted[1];
}

std::string hexText(std::span<const std::uint8_t> bytes) {
  std::string out;
  out.reserve(bytes.size() * 3);
  char digits[3];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i) out.push_back(' ');
    std::snprintf(digits, sizeof digits, "%02X", bytes[i]);
    out.append(digits, 2);
  }
  return out;
}

// --- PrebuiltHeader ---------------------------------------------------------------------

PrebuiltHeader::PrebuiltHeader() {
  HeaderFields initial;
  writeFixedFields(buf_, initial, ByteOrders{});
}

void PrebuiltHeader::updateAddressWord(std::uint16_t keepMask, std::uint16_t bits, bool rioMsbFirst) {
  const std::uint16_t word = get16(buf_, kOffRioAddress, rioMsbFirst);
  put16(buf_, kOffRioAddress, static_cast<std::uint16_t>((word & keepMask) | bits), rioMsbFirst);
}

void PrebuiltHeader::setBus(std::int32_t bus, bool rioMsbFirst) {
  updateAddressWord(kKeepForBus, static_cast<std::uint16_t>((bus & kBusMask) << kBusShift), rioMsbFirst);
}

void PrebuiltHeader::setUnit(std::int32_t unit, bool rioMsbFirst) {
  updateAddressWord(kKeepForUnit, static_cast<std::uint16_t>((unit & kUnitMask) << kUnitShift), rioMsbFirst);
}

void PrebuiltHeader::setSlot(std::int32_t slot, bool rioMsbFirst) {
  updateAddressWord(kKeepForSlot, static_cast<std::uint16_t>(slot & kSlotMask), rioMsbFirst);
}

void PrebuiltHeader::setStation(std::int32_t station, bool rioMsbFirst) {
  put16(buf_, kOffRioStation, lowWord(station), rioMsbFirst);
}

void PrebuiltHeader::setDA(std::int32_t da) { buf_[kOffV27DA] = lowByte(da); }
void PrebuiltHeader::setSA(std::int32_t sa) { buf_[kOffV27SA] = lowByte(sa); }

void PrebuiltHeader::setPasswordId(std::int32_t value, bool v27MsbFirst) {
  put16(buf_, kOffPasswordId, lowWord(value), v27MsbFirst);
}

void PrebuiltHeader::setSeqNumber(std::int32_t value, bool v27MsbFirst) {
  put16(buf_, kOffSeqNumber, lowWord(value), v27MsbFirst);
}

void PrebuiltHeader::setLoopBack(bool on) {
  const auto& marker = on ? kMarkerReply : kMarkerRequest;
  buf_[kOffMarker] = marker[0];
  buf_[kOffMarker + 1] = marker[1];
  buf_[kOffV27ID] = on ? kIdLoopBack : kIdRequest;
}

void PrebuiltHeader::setResult(const std::string& text) {
  const bool usable = text.size() >= 2;
  buf_[kOffResult] = usable ? static_cast<std::uint8_t>(text[0]) : kResultDefault[0];
  buf_[kOffResult + 1] = usable ? static_cast<std::uint8_t>(text[1]) : kResultDefault[1];
}

std::string PrebuiltHeader::resultText() const {
  return std::string{static_cast<char>(buf_[kOffResult]), static_cast<char>(buf_[kOffResult + 1])};
}

void PrebuiltHeader::rewriteRio(std::int32_t bus, std::int32_t unit, std::int32_t slot, std::int32_t station,
                                bool rioMsbFirst) {
  setBus(bus, rioMsbFirst);
  setUnit(unit, rioMsbFirst);
  setSlot(slot, rioMsbFirst);
  setStation(station, rioMsbFirst);
}

std::size_t PrebuiltHeader::fillForSend(std::span<const std::uint8_t> payload, ByteOrders orders) {
  const std::size_t n = std::min(payload.size(), kMaxPayload);
  std::copy_n(payload.begin(), n, buf_.begin() + kOffPayload);
  writeLengths(buf_, n, 0, orders);
  return kHeaderSize + n;
}

std::span<const std::uint8_t> PrebuiltHeader::bytes(std::size_t count) const {
  return std::span<const std::uint8_t>(buf_).first(std::min(count, buf_.size()));
}

}  // namespace velkor::framing
