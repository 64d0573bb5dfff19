#pragma once
// The Velkor control: one UDP socket, the prebuilt datagram header, the last accepted
// reply, and the OnReceive / OnError events, all on the thread that created it.
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/automation/dispatch.h"
#include "platform/shell/codepage.h"
#include "platform/sockets/udp_socket.h"
#include "velkor/control/velkor_ids.h"
#include "velkor/framing/framing.h"

namespace velkor {

class CVelkorCtrl;

// The control's socket: read notifications go to the control's OnSocketReceive.
class CVelkorSocket : public platform::sockets::UdpSocket {
 public:
  explicit CVelkorSocket(CVelkorCtrl* control) : control_(control) {}

 protected:
  void onReceive(int error) override;

 private:
  CVelkorCtrl* control_;
};

class CVelkorCtrl : public platform::automation::Control {
 public:
  CVelkorCtrl();
  ~CVelkorCtrl() override;

  // platform::automation::Dispatch
  platform::automation::HRESULT getIdOfName(std::string_view name, platform::automation::DispId& id) const override;
  platform::automation::HRESULT invoke(platform::automation::DispId id, platform::automation::InvokeKind kind,
                             std::span<const platform::automation::Variant> args, platform::automation::Variant* result) override;
  // platform::automation::Control
  void advise(platform::automation::EventSink* sink) override { sink_ = sink; }
  void setClientSite(platform::automation::ControlSite* site) override { site_ = site; }
  platform::automation::HRESULT saveProperties(platform::automation::PropertyBag& bag) const override;
  platform::automation::HRESULT loadProperties(const platform::automation::PropertyBag& bag) override;
  void resetState() override;
  void ambientPropertiesChanged() override;

  // A datagram is waiting (or the notification carries a socket error).
  virtual void OnSocketReceive(int errorCode);

 protected:
  using Variant = platform::automation::Variant;
  using HRESULT = platform::automation::HRESULT;

  struct Member {
    platform::automation::DispId id;
    const char* name;
    HRESULT (CVelkorCtrl::*get)(Variant&);                              // null: write-only
    HRESULT (CVelkorCtrl::*put)(const Variant&);                        // null: read-only
    HRESULT (CVelkorCtrl::*call)(std::span<const Variant>, Variant*);   // methods only
  };
  static std::span<const Member> members();
  const Member* findMember(platform::automation::DispId id) const;

  // The socket the control opens; overridable so that a test can watch what is sent.
  virtual std::unique_ptr<platform::sockets::UdpSocket> createSocket();
  // Whether a send to `destIp` gets the broadcast option: for "255.255.255.255" only.
  virtual bool broadcastOptionFor(const std::string& destIp) const;

  bool runMode() const { return site_ ? site_->userMode() : true; }
  bool isOpen() const { return open_; }
  void FireOnReceive();
  void FireOnError(std::int32_t code);
  // Raises OnError and tells whether the control still exists: a handler may destroy it.
  bool FireOnErrorAndSurvive(std::int32_t code);

  // Sending. Converts the VARIANT payload (array of any element type, or text in the ANSI
  // code page), cut to 246 bytes. S_OK with `unreadable` set means a locked array.
  HRESULT convertPayload(const Variant& value, std::vector<std::uint8_t>& payload, bool& unreadable) const;
  // Broadcast switch and send; reports a failure through OnError.
  void sendDatagram(std::span<const std::uint8_t> datagram);
  HRESULT outputIndividually(std::span<const Variant> args, Variant* result, bool withPasswordAndSequence);

  // Receiving.
  void discardDatagram(std::size_t pending);
  // The acceptance steps and the read: true when a datagram now sits in the receive buffer
  // with its sender and raw byte count recorded.
  bool readAcceptedDatagram(int errorCode);
  // Result code, decoded fields and payload length from the receive buffer.
  void decodeReceiveBuffer();
  std::span<const std::uint8_t> payloadBytes() const;
  void clearReceivedCounts();

  void openPort();
  void closePort();

  // Properties and methods, one accessor each.
  HRESULT getReceiveAsRIO(Variant& v);
  HRESULT putReceiveAsRIO(const Variant& v);
  HRESULT getDestBus(Variant& v);
  HRESULT putDestBus(const Variant& v);
  HRESULT getDestUnit(Variant& v);
  HRESULT putDestUnit(const Variant& v);
  HRESULT getDestSlot(Variant& v);
  HRESULT putDestSlot(const Variant& v);
  HRESULT getDestStation(Variant& v);
  HRESULT putDestStation(const Variant& v);
  HRESULT getOutV27DA(Variant& v);
  HRESULT putOutV27DA(const Variant& v);
  HRESULT getOutV27SA(Variant& v);
  HRESULT putOutV27SA(const Variant& v);
  HRESULT getByteOrderRIO(Variant& v);
  HRESULT putByteOrderRIO(const Variant& v);
  HRESULT getByteOrderV27(Variant& v);
  HRESULT putByteOrderV27(const Variant& v);
  HRESULT getLoopBackMode(Variant& v);
  HRESULT putLoopBackMode(const Variant& v);
  HRESULT getSrcIpFilter(Variant& v);
  HRESULT putSrcIpFilter(const Variant& v);
  HRESULT getOutPasswordID(Variant& v);
  HRESULT putOutPasswordID(const Variant& v);
  HRESULT getOutSeqNumber(Variant& v);
  HRESULT putOutSeqNumber(const Variant& v);
  HRESULT getMyIp(Variant& v);
  HRESULT getMyPort(Variant& v);
  HRESULT putMyPort(const Variant& v);
  HRESULT getDestIp(Variant& v);
  HRESULT putDestIp(const Variant& v);
  HRESULT getDestPort(Variant& v);
  HRESULT putDestPort(const Variant& v);
  HRESULT getPortOpen(Variant& v);
  HRESULT putPortOpen(const Variant& v);
  HRESULT getResult(Variant& v);
  HRESULT getInput(Variant& v);
  HRESULT getInBufferCount(Variant& v);
  HRESULT getPeekRawInput(Variant& v);
  HRESULT getPeekRawInputHex(Variant& v);
  HRESULT putOutput(const Variant& v);
  HRESULT getOutBufferCount(Variant& v);
  HRESULT getConfirmRawOutput(Variant& v);
  HRESULT getConfirmRawOutputHex(Variant& v);
  HRESULT getInRawCount(Variant& v);
  HRESULT getInV27DA(Variant& v);
  HRESULT getInV27SA(Variant& v);
  HRESULT getInV27FT0(Variant& v);
  HRESULT getInV27LLLH(Variant& v);
  HRESULT getInV27PN(Variant& v);
  HRESULT getInV27ID(Variant& v);
  HRESULT getOutRawCount(Variant& v);
  HRESULT getInSrcIp(Variant& v);
  HRESULT getInSrcPort(Variant& v);
  HRESULT getOutResult(Variant& v);
  HRESULT putOutResult(const Variant& v);
  HRESULT getInputB(Variant& v);
  HRESULT getInPasswordID(Variant& v);
  HRESULT getInSeqNumber(Variant& v);
  HRESULT callOutputIndividually(std::span<const Variant> args, Variant* result);
  HRESULT callOutputIndividually2(std::span<const Variant> args, Variant* result);
  HRESULT getCodePage(Variant& v);
  HRESULT putCodePage(const Variant& v);

  framing::ByteOrders byteOrders() const { return {ByteOrderRIO_, ByteOrderV27_}; }
  void setPersistedDefaults();

  // Routing and switches (persisted).
  std::int32_t DestBus_ = 0, DestUnit_ = 0, DestSlot_ = 0, DestStation_ = 0;
  std::int32_t OutV27DA_ = 0, OutV27SA_ = 0, OutPasswordID_ = 0, OutSeqNumber_ = 0;
  bool ByteOrderRIO_ = false, ByteOrderV27_ = false, LoopBackMode_ = false, SrcIpFilter_ = true;
  // Not persisted.
  bool ReceiveAsRIO_ = false;
  std::int32_t MyPort_ = 0;
  std::string DestIp_;
  std::int32_t DestPort_ = 0;
  bool open_ = false;
  // Text payloads, results and raw views are in this code page (not persisted: the host gives
  // it at run time, as it gives the destination).
  platform::shell::CodePage codePage_;

  // Last accepted datagram.
  std::string receivedResult_;
  std::array<std::uint8_t, framing::kMaxDatagram> receiveBuffer_{};
  std::int32_t InBufferCount_ = 0, InRawCount_ = 0;
  framing::HeaderFields decoded_{};
  std::string InSrcIp_;
  std::int32_t InSrcPort_ = 0;

  // Sent side.
  framing::PrebuiltHeader header_;
  std::int32_t OutBufferCount_ = 0, OutRawCount_ = 0;
  std::vector<std::uint8_t> outputScratch_;  // the payload of the datagram being sent

  std::unique_ptr<platform::sockets::UdpSocket> socket_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  platform::automation::EventSink* sink_ = nullptr;
  platform::automation::ControlSite* site_ = nullptr;
};

}  // namespace velkor
