#include "quillon/live_exchange/velkor_exchange.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>

#include "platform/shell/codepage.h"
#include "platform/sockets/socket_errors.h"
#include "velkor/control/velkor_ids.h"

namespace quillon {

using automation::Variant;

std::string NakMessage(std::optional<std::uint8_t> toolErrorCode) {
  std::string code = "none";
  if (toolErrorCode) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%X", static_cast<unsigned>(*toolErrorCode));
    code = std::string(hex) + "h";
  }
  return "Received \"NAK\"\r\nTool Error Code = " + code;
}

// The control's events reach the handlers through this sink; the timer lives here so that
// the header stays free of Qt.
class VelkorExchange::Wiring : public automation::EventSink {
 public:
  explicit Wiring(VelkorExchange& owner, int tickIntervalMs) : owner_(owner) {
    tmrTimeout.setInterval(tickIntervalMs);
    tmrTimeout.callOnTimeout([this] { owner_.onTimeoutTick(); });
  }
  void onEvent(automation::DispId id, std::span<const Variant> args) override {
    if (id == velkor::DISPID_OnReceive) {
      owner_.onReceive();
    } else if (id == velkor::DISPID_OnError) {
      // The save run ignores the control's errors; the port's opening reads the last one.
      std::int32_t code = 0;
      if (!args.empty() && automation::Succeeded(args[0].toInt32(code))) owner_.lastControlError_ = code;
    }
  }
  QTimer tmrTimeout;

 private:
  VelkorExchange& owner_;
};

VelkorExchange::VelkorExchange(std::shared_ptr<automation::Control> control, int tickIntervalMs)
    : control_(std::move(control)), wiring_(std::make_unique<Wiring>(*this, tickIntervalMs)) {
  control_->advise(wiring_.get());
}

VelkorExchange::~VelkorExchange() {
  wiring_->tmrTimeout.stop();
  control_->put(velkor::DISPID_PortOpen, Variant(false));
  control_->advise(nullptr);
}

std::string VelkorExchange::configureAndOpen(const std::string& destIp, std::uint16_t destPort,
                                             std::uint16_t myPort) {
  if (!QCoreApplication::instance()) return "the exchange needs the program's event loop";
  auto& c = *control_;
  c.put(velkor::DISPID_PortOpen, Variant(false));
  c.put(velkor::DISPID_DestIp, Variant(destIp));
  c.put(velkor::DISPID_DestPort, Variant(static_cast<std::int32_t>(destPort)));
  c.put(velkor::DISPID_LoopBackMode, Variant(false));
  c.put(velkor::DISPID_MyPort, Variant(static_cast<std::int32_t>(myPort)));
  c.put(velkor::DISPID_SrcIpFilter, Variant(false));
  for (const automation::DispId routing : {velkor::DISPID_DestBus, velkor::DISPID_DestUnit, velkor::DISPID_DestSlot,
                                           velkor::DISPID_DestStation, velkor::DISPID_OutV27DA,
                                           velkor::DISPID_OutV27SA})
    c.put(routing, Variant(static_cast<std::int32_t>(0)));
  lastControlError_.reset();
  c.put(velkor::DISPID_PortOpen, Variant(true));

  Variant open;
  bool isOpen = false;
  if (automation::Succeeded(c.get(velkor::DISPID_PortOpen, open))) open.toBool(isOpen);
  if (isOpen) return {};
  const std::string port = std::to_string(myPort);
  if (lastControlError_ == sockets::WSAEADDRINUSE)
    return "the tool's own UDP port " + port + " is in use by another program (Windows Sockets error 10048); "
           "choose another with --port (0 takes any free port)";
  if (lastControlError_ == sockets::WSAEACCES)
    return "the tool's own UDP port " + port + " may not be used by this user (Windows Sockets error 10013); "
           "choose another with --port";
  return "the Velkor control could not open UDP port " + port + " for the drive " + destIp + ":" +
         std::to_string(destPort) +
         (lastControlError_ ? " (Windows Sockets error " + std::to_string(*lastControlError_) + ")" : std::string());
}

bool VelkorExchange::transact(std::string_view request, ReplyForm form) {
  ExchangeState& s = state_;
  if (s.AbortFlag) return false;
  // Only a datagram that arrives after this request was sent may answer it: a late reply to
  // an earlier request must not be decoded as this one's.
  s.ReplyFlag = false;
  s.RequestBuf.assign(request.begin(), request.end());
  sendRequestBuf();
  s.BinaryReplyFlag = form == ReplyForm::Binary;
  wiring_->tmrTimeout.start();
  const bool replied = waitForReplyOrAbort();
  wiring_->tmrTimeout.stop();
  if (!replied) return false;
  s.ReplyFlag = false;
  return true;
}

bool VelkorExchange::waitForReplyOrAbort() {
  for (;;) {
    ++waitRounds_;
    // Blocks until an event (datagram, tick, click) has been handled: no spinning.
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    if (state_.ReplyFlag) return true;
    if (state_.AbortFlag) return false;
  }
}

void VelkorExchange::sendRequestBuf() {
  control_->put(velkor::DISPID_Output, Variant::bytes(state_.RequestBuf));
  ++sendCount_;
}

void VelkorExchange::reopenPort() {
  control_->put(velkor::DISPID_PortOpen, Variant(false));
  control_->put(velkor::DISPID_PortOpen, Variant(true));
}

void VelkorExchange::onReceive() {
  ExchangeState& s = state_;
  s.RetryCount = 0;
  std::optional<std::uint8_t> status, code;
  Variant payload;
  if (s.BinaryReplyFlag) {
    s.ReplyBytes.clear();
    control_->get(velkor::DISPID_InputB, payload);
    payload.toByteArray(s.ReplyBytes);
    if (!s.ReplyBytes.empty()) status = s.ReplyBytes[0];
    if (s.ReplyBytes.size() > 1) code = s.ReplyBytes[1];
  } else {
    s.ReplyText.clear();
    control_->get(velkor::DISPID_Input, payload);
    payload.toText(s.ReplyText);
    // The status is the datagram's first byte, even when the text holds double-byte characters.
    const std::string ansi = shell::toAnsi(s.ReplyText);
    if (!ansi.empty()) status = static_cast<std::uint8_t>(ansi[0]);
    if (ansi.size() > 1) code = static_cast<std::uint8_t>(ansi[1]);
  }
  if (status != kNakStatus) {
    s.ReplyFlag = true;
    return;
  }
  s.abortWith(NakMessage(code));
}

void VelkorExchange::onTimeoutTick() {
  ExchangeState& s = state_;
  if (s.ReplyFlag) return;
  // After an abort (Cancel may land in the same round as a tick) nothing more is sent.
  if (s.AbortFlag) return;
  ++s.RetryCount;
  if (s.RetryCount >= kTimeoutTicks) {
    s.abortWith("Timeout");
    return;
  }
  reopenPort();
  sendRequestBuf();
  reportResend(s.RetryCount, kTimeoutTicks - 1);
}

bool VelkorExchange::timerEnabled() const { return wiring_->tmrTimeout.isActive(); }

}  // namespace quillon
