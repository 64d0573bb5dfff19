#include "velkor/control/velkor_ctrl.h"

#include <algorithm>
#include <cassert>
#include <cctype>

#include "platform/sockets/socket_errors.h"

namespace velkor {

using platform::automation::DispId;
using platform::automation::InvokeKind;
namespace fr = framing;

namespace {

constexpr const char* kBroadcastAddress = "255.255.255.255";
constexpr std::int32_t kMaxPort = 65535;

// Range tops of the routing properties: a value outside 0..top is stored as top.
constexpr std::int32_t kTopBus = 3, kTopUnit = 7, kTopSlot = 15, kTopStation = 64, kTopV27Address = 64;

std::int32_t clampToTop(std::int32_t value, std::int32_t top) { return value < 0 || value > top ? top : value; }
std::int32_t low16(std::int32_t value) { return value & 0xFFFF; }

fr::HeaderFields zeroFields() {
  fr::HeaderFields f;
  f.marker = {0, 0};
  f.result = {0, 0};
  f.ft0 = 0;
  f.id = 0;
  return f;
}

bool sameNameNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

template <typename T>
platform::automation::HRESULT readLong(const platform::automation::Variant& v, T& out) {
  std::int32_t value = 0;
  const auto hr = v.toInt32(value);
  if (platform::automation::Succeeded(hr)) out = value;
  return hr;
}

platform::automation::HRESULT readBool(const platform::automation::Variant& v, bool& out) { return v.toBool(out); }

}  // namespace

void CVelkorSocket::onReceive(int error) {
  // The handler may close the port and so delete this socket: nothing touches it afterwards.
  control_->OnSocketReceive(error);
}

CVelkorCtrl::CVelkorCtrl() : decoded_(zeroFields()) {}

CVelkorCtrl::~CVelkorCtrl() {
  *alive_ = false;
  socket_.reset();
}

// --- dispatch --------------------------------------------------------------------------

#define VELKOR_PROPERTY(name) \
  { DISPID_##name, #name, &CVelkorCtrl::get##name, &CVelkorCtrl::put##name, nullptr }
#define VELKOR_READONLY(name) \
  { DISPID_##name, #name, &CVelkorCtrl::get##name, nullptr, nullptr }

std::span<const CVelkorCtrl::Member> CVelkorCtrl::members() {
  static const Member table[] = {
      VELKOR_PROPERTY(ReceiveAsRIO),
      VELKOR_PROPERTY(DestBus),
      VELKOR_PROPERTY(DestUnit),
      VELKOR_PROPERTY(DestSlot),
      VELKOR_PROPERTY(DestStation),
      VELKOR_PROPERTY(OutV27DA),
      VELKOR_PROPERTY(OutV27SA),
      VELKOR_PROPERTY(ByteOrderRIO),
      VELKOR_PROPERTY(ByteOrderV27),
      VELKOR_PROPERTY(LoopBackMode),
      VELKOR_PROPERTY(SrcIpFilter),
      VELKOR_PROPERTY(OutPasswordID),
      VELKOR_PROPERTY(OutSeqNumber),
      VELKOR_READONLY(MyIp),
      VELKOR_PROPERTY(MyPort),
      VELKOR_PROPERTY(DestIp),
      VELKOR_PROPERTY(DestPort),
      VELKOR_PROPERTY(PortOpen),
      VELKOR_READONLY(Result),
      VELKOR_READONLY(Input),
      VELKOR_READONLY(InBufferCount),
      VELKOR_READONLY(PeekRawInput),
      VELKOR_READONLY(PeekRawInputHex),
      {DISPID_Output, "Output", nullptr, &CVelkorCtrl::putOutput, nullptr},
      VELKOR_READONLY(OutBufferCount),
      VELKOR_READONLY(ConfirmRawOutput),
      VELKOR_READONLY(ConfirmRawOutputHex),
      VELKOR_READONLY(InRawCount),
      VELKOR_READONLY(InV27DA),
      VELKOR_READONLY(InV27SA),
      VELKOR_READONLY(InV27FT0),
      VELKOR_READONLY(InV27LLLH),
      VELKOR_READONLY(InV27PN),
      VELKOR_READONLY(InV27ID),
      VELKOR_READONLY(OutRawCount),
      VELKOR_READONLY(InSrcIp),
      VELKOR_READONLY(InSrcPort),
      VELKOR_PROPERTY(OutResult),
      VELKOR_READONLY(InputB),
      VELKOR_READONLY(InPasswordID),
      VELKOR_READONLY(InSeqNumber),
      {DISPID_OutputIndividually, "OutputIndividually", nullptr, nullptr, &CVelkorCtrl::callOutputIndividually},
      {DISPID_OutputIndividually2, "OutputIndividually2", nullptr, nullptr, &CVelkorCtrl::callOutputIndividually2},
      VELKOR_PROPERTY(CodePage),
  };
  return table;
}

#undef VELKOR_PROPERTY
#undef VELKOR_READONLY

const CVelkorCtrl::Member* CVelkorCtrl::findMember(DispId id) const {
  // The DISPIDs are small numbers: one table slot each, so that a dispatch does not search.
  static const auto byId = [] {
    std::array<const Member*, DISPID_CodePage + 1> table{};
    for (const Member& m : members()) {
      assert(m.id > 0 && m.id < static_cast<DispId>(table.size()) && !table[static_cast<std::size_t>(m.id)]);
      table[static_cast<std::size_t>(m.id)] = &m;
    }
    return table;
  }();
  if (id <= 0 || id >= static_cast<DispId>(byId.size())) return nullptr;
  return byId[static_cast<std::size_t>(id)];
}

platform::automation::HRESULT CVelkorCtrl::getIdOfName(std::string_view name, DispId& id) const {
  for (const Member& m : members()) {
    if (sameNameNoCase(m.name, name)) {
      id = m.id;
      return platform::automation::S_OK;
    }
  }
  id = platform::automation::DISPID_UNKNOWN;
  return platform::automation::DISP_E_UNKNOWNNAME;
}

platform::automation::HRESULT CVelkorCtrl::invoke(DispId id, InvokeKind kind, std::span<const Variant> args, Variant* result) {
  const Member* m = findMember(id);
  if (!m) return platform::automation::DISP_E_MEMBERNOTFOUND;
  if (m->call) {
    if (kind != InvokeKind::Method) return platform::automation::DISP_E_MEMBERNOTFOUND;
    return (this->*m->call)(args, result);
  }
  switch (kind) {
    case InvokeKind::PropertyGet: {
      if (!m->get) return platform::automation::CTL_E_GETNOTSUPPORTED;
      if (!args.empty()) return platform::automation::DISP_E_BADPARAMCOUNT;
      // Straight into the caller's variant: a byte array it already holds is refilled in place.
      Variant ignored;
      return (this->*m->get)(result ? *result : ignored);
    }
    case InvokeKind::PropertyPut:
      if (!m->put) return platform::automation::CTL_E_SETNOTSUPPORTED;
      if (args.size() != 1) return platform::automation::DISP_E_BADPARAMCOUNT;
      return (this->*m->put)(args[0]);
    case InvokeKind::Method:
      break;
  }
  return platform::automation::DISP_E_MEMBERNOTFOUND;
}

// --- events ----------------------------------------------------------------------------

void CVelkorCtrl::FireOnReceive() {
  if (sink_) sink_->onEvent(DISPID_OnReceive, {});
}

bool CVelkorCtrl::FireOnErrorAndSurvive(std::int32_t code) {
  const std::shared_ptr<bool> alive = alive_;
  FireOnError(code);
  return *alive;
}

void CVelkorCtrl::FireOnError(std::int32_t code) {
  if (!sink_) return;
  const Variant arg(code);
  sink_->onEvent(DISPID_OnError, std::span<const Variant>(&arg, 1));
}

// --- persistence -----------------------------------------------------------------------

namespace {
constexpr const char* kVersionName = "_Version";
}

platform::automation::HRESULT CVelkorCtrl::saveProperties(platform::automation::PropertyBag& bag) const {
  bag.write(kVersionName, Variant(kPersistedVersion));
  bag.write("DestBus", Variant(DestBus_));
  bag.write("DestUnit", Variant(DestUnit_));
  bag.write("DestSlot", Variant(DestSlot_));
  bag.write("DestStation", Variant(DestStation_));
  bag.write("OutV27DA", Variant(OutV27DA_));
  bag.write("OutV27SA", Variant(OutV27SA_));
  bag.write("OutPasswordID", Variant(OutPasswordID_));
  bag.write("OutSeqNumber", Variant(OutSeqNumber_));
  bag.write("ByteOrderRIO", Variant(ByteOrderRIO_));
  bag.write("ByteOrderV27", Variant(ByteOrderV27_));
  bag.write("LoopBackMode", Variant(LoopBackMode_));
  bag.write("SrcIpFilter", Variant(SrcIpFilter_));
  return platform::automation::S_OK;
}

platform::automation::HRESULT CVelkorCtrl::loadProperties(const platform::automation::PropertyBag& bag) {
  // A missing or unreadable entry keeps its default; values out of range are clamped as
  // their setters would, so a damaged form cannot put impossible routing into the control.
  setPersistedDefaults();
  auto longValue = [&](const char* name, std::int32_t& member, std::int32_t top) {
    Variant v;
    std::int32_t value = 0;
    if (platform::automation::Succeeded(bag.read(name, v)) && platform::automation::Succeeded(v.toInt32(value)))
      member = top > 0 ? clampToTop(value, top) : low16(value);
  };
  auto boolValue = [&](const char* name, bool& member) {
    Variant v;
    bool value = false;
    if (platform::automation::Succeeded(bag.read(name, v)) && platform::automation::Succeeded(v.toBool(value))) member = value;
  };
  longValue("DestBus", DestBus_, kTopBus);
  longValue("DestUnit", DestUnit_, kTopUnit);
  longValue("DestSlot", DestSlot_, kTopSlot);
  longValue("DestStation", DestStation_, kTopStation);
  longValue("OutV27DA", OutV27DA_, kTopV27Address);
  longValue("OutV27SA", OutV27SA_, kTopV27Address);
  longValue("OutPasswordID", OutPasswordID_, 0);
  longValue("OutSeqNumber", OutSeqNumber_, 0);
  boolValue("ByteOrderRIO", ByteOrderRIO_);
  boolValue("ByteOrderV27", ByteOrderV27_);
  boolValue("LoopBackMode", LoopBackMode_);
  boolValue("SrcIpFilter", SrcIpFilter_);
  return platform::automation::S_OK;
}

void CVelkorCtrl::setPersistedDefaults() {
  DestBus_ = DestUnit_ = DestSlot_ = DestStation_ = 0;
  OutV27DA_ = OutV27SA_ = OutPasswordID_ = OutSeqNumber_ = 0;
  ByteOrderRIO_ = ByteOrderV27_ = LoopBackMode_ = false;
  SrcIpFilter_ = true;
}

void CVelkorCtrl::resetState() { setPersistedDefaults(); }

void CVelkorCtrl::ambientPropertiesChanged() {
  if (!runMode() && open_) closePort();
}

// --- port ------------------------------------------------------------------------------

std::unique_ptr<platform::sockets::UdpSocket> CVelkorCtrl::createSocket() { return std::make_unique<CVelkorSocket>(this); }

void CVelkorCtrl::openPort() {
  if (!runMode() || open_) return;
  socket_.reset();
  if (DestIp_.empty()) {
    FireOnError(platform::sockets::WSAEDESTADDRREQ);
    return;
  }
  if (MyPort_ < 0 || MyPort_ > kMaxPort) {
    // The socket layer would cut the number to 16 bits and bind to some other port.
    FireOnError(platform::sockets::WSAEINVAL);
    return;
  }
  auto socket = createSocket();
  if (const int err = socket->create(static_cast<std::uint16_t>(MyPort_)); err != platform::sockets::kNoError) {
    FireOnError(err);
    return;
  }
  socket_ = std::move(socket);
  open_ = true;
}

void CVelkorCtrl::closePort() {
  socket_.reset();
  open_ = false;
  InBufferCount_ = InRawCount_ = OutBufferCount_ = OutRawCount_ = 0;
  decoded_ = zeroFields();
  InSrcPort_ = 0;
  InSrcIp_.clear();
}

// --- sending ---------------------------------------------------------------------------

platform::automation::HRESULT CVelkorCtrl::convertPayload(const Variant& value, std::vector<std::uint8_t>& payload,
                                                bool& unreadable) const {
  unreadable = false;
  if (const platform::automation::SafeArray* array = value.array()) {
    if (array->locked) {
      unreadable = true;
      return platform::automation::S_OK;
    }
    if (array->elementsAreBytes) {
      // Read in place: the common case, a request of a few bytes, costs one copy.
      const auto bytes = value.byteElements();
      payload.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(std::min(bytes.size(), fr::kMaxPayload)));
      return platform::automation::S_OK;
    }
  }
  const Variant copy = value;
  std::vector<std::uint8_t> bytes;
  if (copy.array()) {
    if (const HRESULT hr = copy.toByteArray(bytes); platform::automation::Failed(hr)) return hr;
  } else {
    std::string text;
    if (const HRESULT hr = copy.toText(text); platform::automation::Failed(hr)) return hr;
    const std::string ansi = codePage_.toAnsi(text);
    bytes.assign(ansi.begin(), ansi.end());
  }
  if (bytes.size() > fr::kMaxPayload) bytes.resize(fr::kMaxPayload);
  payload = std::move(bytes);
  return platform::automation::S_OK;
}

bool CVelkorCtrl::broadcastOptionFor(const std::string& destIp) const { return destIp == kBroadcastAddress; }

void CVelkorCtrl::sendDatagram(std::span<const std::uint8_t> datagram) {
  if (!socket_) return;
  const bool broadcast = DestIp_ == kBroadcastAddress;
  if (const int err = socket_->setBroadcast(broadcastOptionFor(DestIp_)); err != platform::sockets::kNoError) {
    FireOnError(err);
    return;
  }
  if (DestPort_ < 0 || DestPort_ > kMaxPort) {
    FireOnError(platform::sockets::WSAEINVAL);
    return;
  }
  const int err = socket_->sendTo(datagram, broadcast ? kBroadcastAddress : DestIp_,
                                  static_cast<std::uint16_t>(DestPort_));
  if (err != platform::sockets::kNoError) FireOnError(err);
}

platform::automation::HRESULT CVelkorCtrl::putOutput(const Variant& v) {
  if (!runMode()) return platform::automation::S_OK;
  if (!open_) {
    FireOnError(platform::sockets::WSAEINVAL);
    return platform::automation::S_OK;
  }
  std::vector<std::uint8_t>& payload = outputScratch_;  // kept, so that a send allocates nothing
  bool unreadable = false;
  if (const HRESULT hr = convertPayload(v, payload, unreadable); platform::automation::Failed(hr)) return hr;
  if (unreadable) {
    FireOnError(platform::sockets::WSAEFAULT);
    return platform::automation::S_OK;
  }
  OutBufferCount_ = static_cast<std::int32_t>(payload.size());
  const std::size_t size = header_.fillForSend(payload, byteOrders());
  OutRawCount_ = static_cast<std::int32_t>(size);
  sendDatagram(header_.bytes(size));
  return platform::automation::S_OK;
}

platform::automation::HRESULT CVelkorCtrl::outputIndividually(std::span<const Variant> args, Variant* result,
                                                    bool withPasswordAndSequence) {
  const std::size_t expected = withPasswordAndSequence ? 9 : 7;
  if (args.size() != expected) return platform::automation::DISP_E_BADPARAMCOUNT;
  std::array<std::int32_t, 8> numbers{};  // Bus, Unit, Slot, Station, DA, SA[, PasswordID, SeqNumber]
  for (std::size_t i = 0; i + 1 < expected; ++i) {
    if (const HRESULT hr = args[i].toInt32(numbers[i]); platform::automation::Failed(hr)) return hr;
  }
  const Variant& command = args[expected - 1];
  if (result) *result = Variant(false);
  if (!open_) {
    FireOnError(platform::sockets::WSAEINVAL);
    return platform::automation::S_OK;
  }
  std::vector<std::uint8_t> payload;
  bool unreadable = false;
  if (const HRESULT hr = convertPayload(command, payload, unreadable); platform::automation::Failed(hr)) return hr;
  if (unreadable) {
    FireOnError(platform::sockets::WSAEFAULT);
    return platform::automation::S_OK;
  }
  const fr::HeaderFields fields =
      fr::individualHeader(LoopBackMode_, numbers[0], numbers[1], numbers[2], numbers[3], numbers[4], numbers[5]);
  std::vector<std::uint8_t> datagram = fr::buildDatagram(fields, payload, byteOrders());
  if (withPasswordAndSequence) {
    // These two are always least significant byte first here, whatever the V27 switch says.
    fr::put16(datagram, fr::kOffPasswordId, static_cast<std::uint16_t>(low16(numbers[6])), false);
    fr::put16(datagram, fr::kOffSeqNumber, static_cast<std::uint16_t>(low16(numbers[7])), false);
  }
  if (result) *result = Variant(true);
  sendDatagram(datagram);
  return platform::automation::S_OK;
}

platform::automation::HRESULT CVelkorCtrl::callOutputIndividually(std::span<const Variant> args, Variant* result) {
  return outputIndividually(args, result, false);
}

platform::automation::HRESULT CVelkorCtrl::callOutputIndividually2(std::span<const Variant> args, Variant* result) {
  return outputIndividually(args, result, true);
}

// --- receiving -------------------------------------------------------------------------

void CVelkorCtrl::discardDatagram(std::size_t pending) {
  std::array<std::uint8_t, 2> scratch{};
  std::size_t got = 0;
  socket_->receive(std::span<std::uint8_t>(scratch).first(std::min<std::size_t>(pending, 2)), got);
}

void CVelkorCtrl::OnSocketReceive(int errorCode) {
  if (!readAcceptedDatagram(errorCode)) return;
  decodeReceiveBuffer();
  FireOnReceive();
}

bool CVelkorCtrl::readAcceptedDatagram(int errorCode) {
  if (errorCode != platform::sockets::kNoError && !FireOnErrorAndSurvive(errorCode)) return false;
  if (!socket_) return false;  // closed, perhaps by the handler of that error
  std::size_t pending = 0;
  if (const int err = socket_->pendingBytes(pending); err != platform::sockets::kNoError) {
    FireOnError(err);
    return false;
  }
  if (pending == 0) {
    // An empty datagram (or none): take it off the queue, or the notification would repeat
    // for ever.
    discardDatagram(0);
    return false;
  }
  std::array<std::uint8_t, 2> marker{};
  const std::size_t peekSize = std::min<std::size_t>(pending, marker.size());
  std::size_t peeked = 0;
  platform::sockets::Endpoint from;
  const int peekError = socket_->peekFrom(std::span<std::uint8_t>(marker).first(peekSize), peeked, from);
  if (peekError != platform::sockets::kNoError && peekError != platform::sockets::WSAEMSGSIZE) {
    discardDatagram(pending);
    FireOnError(peekError);
    return false;
  }
  const bool wrongSender = SrcIpFilter_ && from.address != DestIp_;
  const bool tooShort = pending < fr::kMinAcceptedSize;
  if (wrongSender || tooShort ||
      !fr::markerAccepted(std::span<const std::uint8_t>(marker).first(peeked), ReceiveAsRIO_)) {
    discardDatagram(pending);
    return false;
  }
  InSrcIp_ = from.address;
  InSrcPort_ = from.port;
  std::size_t received = 0;
  const std::size_t wanted = std::min(pending, fr::kMaxDatagram);
  if (const int err = socket_->receive(std::span<std::uint8_t>(receiveBuffer_).first(wanted), received);
      err != platform::sockets::kNoError) {
    FireOnError(err);
    return false;
  }
  if (received == 0) {
    FireOnError(platform::sockets::WSAENOTCONN);
    return false;
  }
  InRawCount_ = static_cast<std::int32_t>(received);
  return true;
}

void CVelkorCtrl::decodeReceiveBuffer() {
  const std::size_t raw = std::min<std::size_t>(static_cast<std::size_t>(std::max(InRawCount_, 0)), fr::kMaxDatagram);
  const fr::DecodedDatagram d = fr::decodeDatagram(std::span<const std::uint8_t>(receiveBuffer_).first(raw), byteOrders());
  receivedResult_ = d.result;
  decoded_ = d.fields;
  InBufferCount_ = static_cast<std::int32_t>(d.payloadLength);
}

std::span<const std::uint8_t> CVelkorCtrl::payloadBytes() const {
  const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(std::max(InBufferCount_, 0)), fr::kMaxPayload);
  return std::span<const std::uint8_t>(receiveBuffer_).subspan(fr::kOffPayload, count);
}

void CVelkorCtrl::clearReceivedCounts() { InBufferCount_ = InRawCount_ = 0; }

// --- properties ------------------------------------------------------------------------

#define LONG_GETTER(name, member)                  \
  platform::automation::HRESULT CVelkorCtrl::get##name(Variant& v) { \
    v = Variant(static_cast<std::int32_t>(member)); \
    return platform::automation::S_OK;                       \
  }
#define BOOL_GETTER(name, member)                  \
  platform::automation::HRESULT CVelkorCtrl::get##name(Variant& v) { \
    v = Variant(static_cast<bool>(member));        \
    return platform::automation::S_OK;                       \
  }

BOOL_GETTER(ReceiveAsRIO, ReceiveAsRIO_)
LONG_GETTER(DestBus, DestBus_)
LONG_GETTER(DestUnit, DestUnit_)
LONG_GETTER(DestSlot, DestSlot_)
LONG_GETTER(DestStation, DestStation_)
LONG_GETTER(OutV27DA, OutV27DA_)
LONG_GETTER(OutV27SA, OutV27SA_)
BOOL_GETTER(ByteOrderRIO, ByteOrderRIO_)
BOOL_GETTER(ByteOrderV27, ByteOrderV27_)
BOOL_GETTER(LoopBackMode, LoopBackMode_)
BOOL_GETTER(SrcIpFilter, SrcIpFilter_)
LONG_GETTER(OutPasswordID, OutPasswordID_)
LONG_GETTER(OutSeqNumber, OutSeqNumber_)
LONG_GETTER(DestPort, DestPort_)
BOOL_GETTER(PortOpen, open_)
LONG_GETTER(InBufferCount, InBufferCount_)
LONG_GETTER(OutBufferCount, OutBufferCount_)
LONG_GETTER(InRawCount, InRawCount_)
LONG_GETTER(InV27DA, decoded_.da)
LONG_GETTER(InV27SA, decoded_.sa)
LONG_GETTER(InV27FT0, decoded_.ft0)
LONG_GETTER(InV27LLLH, decoded_.v27Length)
LONG_GETTER(InV27PN, decoded_.pn)
LONG_GETTER(InV27ID, decoded_.id)
LONG_GETTER(OutRawCount, OutRawCount_)
LONG_GETTER(InSrcPort, InSrcPort_)
LONG_GETTER(InPasswordID, decoded_.passwordId)
LONG_GETTER(InSeqNumber, decoded_.seqNumber)

#undef LONG_GETTER
#undef BOOL_GETTER

platform::automation::HRESULT CVelkorCtrl::putReceiveAsRIO(const Variant& v) { return readBool(v, ReceiveAsRIO_); }
platform::automation::HRESULT CVelkorCtrl::putSrcIpFilter(const Variant& v) { return readBool(v, SrcIpFilter_); }
platform::automation::HRESULT CVelkorCtrl::putByteOrderV27(const Variant& v) { return readBool(v, ByteOrderV27_); }

platform::automation::HRESULT CVelkorCtrl::putDestBus(const Variant& v) {
  std::int32_t value = 0;
  if (const HRESULT hr = readLong(v, value); platform::automation::Failed(hr)) return hr;
  DestBus_ = clampToTop(value, kTopBus);
  header_.setBus(DestBus_, ByteOrderRIO_);
  return platform::automation::S_OK;
}

platform::automation::HRESULT CVelkorCtrl::putDestUnit(const Variant& v) {
  std::int32_t value = 0;
  if (const HRESULT hr = readLong(v, value); platform::automation::Failed(hr)) return hr;
  DestUnit_ = clampToTop(value, kTopUnit);
  header_.setUnit(DestUnit_, ByteOrderRIO_);
  return platform::automation::S_OK;
}

platform::automation::HRESULT CVelkorCtrl::putDestSlot(const Variant& v) {
  std::int32_t value = 0;
  if (const HRESULT hr = readLong(v, value); platform::automation::Failed(hr)) return hr;
  DestSlot_ = clampToTop(value, kTopSlot);
  header_.setSlot(DestSlot_, ByteOrderRIO_);
  return platform::automation::S_OK;
}

platform::automation::HRESULT CVelkorCtrl::putDestStation(const Variant& v) {
  std::int32_t value = 0;
  if (const HRESULT hr = readLong(v, value); platform::automation::Failed(hr)) return hr;
  DestStation_ = clampToTop(value, kTopStation);
  header_.setStation(DestStation_, ByteOrderRIO_);
  return platform::automation::S_OK;
}

platform::automation::HRESULT CVelkorCtrl::putOutV27DA(const Variant& v) {
  std::int32_t value = 0;
  if (const HRESULT hr = readLong(v, value); platform::automation::Failed(hr)) return hr;
  OutV27DA_ = clampToTop(value, kTopV27Address);
  header_.setDA(OutV27DA_);
  return platform::automation::S_OK;
}

platform::automation::HRESULT CVelkorCtrl::putOutV27SA(const Variant& v) {
  std::int32_t value = 0;
  if (const HRESULT hr = readLong(v, value); platform::automation::Failed(hr)) return hr;
  OutV27SA_ = clampToTop(value, kTopV27Address);
  header_.setSA(OutV27SA_);
  return platform::automation::S_OK;
}

platform::automation::HRESULT CVelkorCtrl::putByteOrderRIO(const Variant& v) {
  if (const HRESULT hr = readBool(v, ByteOrderRIO_); platform::automation::Failed(hr)) return hr;
  header_.rewriteRio(DestBus_, DestUnit_, DestSlot_, DestStation_, ByteOrderRIO_);
  return platform::automation::S_OK;
}

platform::automation::HRESULT CVelkorCtrl::putLoopBackMode(const Variant& v) {
  if (const HRESULT hr = readBool(v, LoopBackMode_); platform::automation::Failed(hr)) return hr;
  header_.setLoopBack(LoopBackMode_);
  return platform::automation::S_OK;
}

platform::automation::HRESULT CVelkorCtrl::putOutPasswordID(const Variant& v) {
  std::int32_t value = 0;
  if (const HRESULT hr = readLong(v, value); platform::automation::Failed(hr)) return hr;
  OutPasswordID_ = low16(value);
  header_.setPasswordId(OutPasswordID_, ByteOrderV27_);
  return platform::automation::S_OK;
}

platform::automation::HRESULT CVelkorCtrl::putOutSeqNumber(const Variant& v) {
  std::int32_t value = 0;
  if (const HRESULT hr = readLong(v, value); platform::automation::Failed(hr)) return hr;
  OutSeqNumber_ = low16(value);
  header_.setSeqNumber(OutSeqNumber_, ByteOrderV27_);
  return platform::automation::S_OK;
}

platform::automation::HRESULT CVelkorCtrl::getMyIp(Variant& v) {
  v = Variant(platform::sockets::firstLocalIpv4());
  return platform::automation::S_OK;
}

// While open, the port the socket is bound to: the one assigned, or the free port the socket
// layer chose for 0, so that a host can reopen on the same port.
platform::automation::HRESULT CVelkorCtrl::getMyPort(Variant& v) {
  const bool chosenBySocketLayer = open_ && socket_ && MyPort_ == 0;
  v = Variant(static_cast<std::int32_t>(chosenBySocketLayer ? socket_->localPort() : MyPort_));
  return platform::automation::S_OK;
}

platform::automation::HRESULT CVelkorCtrl::putMyPort(const Variant& v) {
  std::int32_t value = 0;
  if (const HRESULT hr = readLong(v, value); platform::automation::Failed(hr)) return hr;
  if (!open_) MyPort_ = value;
  return platform::automation::S_OK;
}

platform::automation::HRESULT CVelkorCtrl::getDestIp(Variant& v) {
  v = Variant(DestIp_);
  return platform::automation::S_OK;
}

platform::automation::HRESULT CVelkorCtrl::putDestIp(const Variant& v) {
  std::string value;
  if (const HRESULT hr = v.toText(value); platform::automation::Failed(hr)) return hr;
  if (!open_) DestIp_ = std::move(value);
  return platform::automation::S_OK;
}

platform::automation::HRESULT CVelkorCtrl::putDestPort(const Variant& v) {
  std::int32_t value = 0;
  if (const HRESULT hr = readLong(v, value); platform::automation::Failed(hr)) return hr;
  if (!open_) DestPort_ = value;
  return platform::automation::S_OK;
}

platform::automation::HRESULT CVelkorCtrl::putPortOpen(const Variant& v) {
  bool on = false;
  if (const HRESULT hr = readBool(v, on); platform::automation::Failed(hr)) return hr;
  if (on)
    openPort();
  else
    closePort();
  return platform::automation::S_OK;
}

platform::automation::HRESULT CVelkorCtrl::getResult(Variant& v) {
  v = Variant(codePage_.fromAnsi(receivedResult_));
  return platform::automation::S_OK;
}

platform::automation::HRESULT CVelkorCtrl::getInput(Variant& v) {
  v = Variant(std::string());
  if (!runMode()) return platform::automation::S_OK;
  if (!open_) {
    FireOnError(platform::sockets::WSAEINVAL);
    return platform::automation::S_OK;
  }
  const auto payload = payloadBytes();
  v = Variant(codePage_.fromAnsi(std::string_view(reinterpret_cast<const char*>(payload.data()), payload.size())));
  clearReceivedCounts();
  return platform::automation::S_OK;
}

platform::automation::HRESULT CVelkorCtrl::getInputB(Variant& v) {
  if (!runMode()) {
    v = Variant();
    return platform::automation::S_OK;
  }
  if (!open_) {
    v = Variant();
    FireOnError(platform::sockets::WSAEINVAL);
    return platform::automation::S_OK;
  }
  v.assignBytes(payloadBytes(), 0);
  clearReceivedCounts();
  return platform::automation::S_OK;
}

platform::automation::HRESULT CVelkorCtrl::getPeekRawInput(Variant& v) {
  v = Variant(std::string());
  if (!runMode()) return platform::automation::S_OK;
  if (!open_) {
    FireOnError(platform::sockets::WSAEINVAL);
    return platform::automation::S_OK;
  }
  const auto raw = std::span<const std::uint8_t>(receiveBuffer_).first(static_cast<std::size_t>(InRawCount_));
  v = Variant(codePage_.fromAnsi(std::string_view(reinterpret_cast<const char*>(raw.data()), raw.size())));
  return platform::automation::S_OK;
}

platform::automation::HRESULT CVelkorCtrl::getPeekRawInputHex(Variant& v) {
  v = Variant(std::string());
  if (!runMode()) return platform::automation::S_OK;
  v = Variant(fr::hexText(std::span<const std::uint8_t>(receiveBuffer_).first(static_cast<std::size_t>(InRawCount_))));
  return platform::automation::S_OK;
}

platform::automation::HRESULT CVelkorCtrl::getConfirmRawOutput(Variant& v) {
  const auto raw = header_.bytes(static_cast<std::size_t>(OutRawCount_));
  v = Variant(codePage_.fromAnsi(std::string_view(reinterpret_cast<const char*>(raw.data()), raw.size())));
  return platform::automation::S_OK;
}

platform::automation::HRESULT CVelkorCtrl::getConfirmRawOutputHex(Variant& v) {
  v = Variant(fr::hexText(header_.bytes(static_cast<std::size_t>(OutRawCount_))));
  return platform::automation::S_OK;
}

platform::automation::HRESULT CVelkorCtrl::getInSrcIp(Variant& v) {
  v = Variant(InSrcIp_);
  return platform::automation::S_OK;
}

platform::automation::HRESULT CVelkorCtrl::getOutResult(Variant& v) {
  v = Variant(codePage_.fromAnsi(header_.resultText()));
  return platform::automation::S_OK;
}

platform::automation::HRESULT CVelkorCtrl::putOutResult(const Variant& v) {
  std::string text;
  if (const HRESULT hr = v.toText(text); platform::automation::Failed(hr)) return hr;
  header_.setResult(codePage_.toAnsi(text));
  return platform::automation::S_OK;
}

platform::automation::HRESULT CVelkorCtrl::getCodePage(Variant& v) {
  v = Variant(codePage_.name());
  return platform::automation::S_OK;
}

platform::automation::HRESULT CVelkorCtrl::putCodePage(const Variant& v) {
  std::string name;
  if (const HRESULT hr = v.toText(name); platform::automation::Failed(hr)) return hr;
  std::optional<platform::shell::CodePage> page = platform::shell::CodePage::Named(name);
  if (!page) return platform::automation::CTL_E_INVALIDPROPERTYVALUE;  // the code page stays as it was
  codePage_ = std::move(*page);
  return platform::automation::S_OK;
}

}  // namespace velkor
