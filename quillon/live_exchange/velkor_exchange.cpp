#include "quillon/live_exchange/velkor_exchange.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <functional>

#include "platform/shell/codepage.h"
#include "platform/sockets/socket_errors.h"
#include "platform/sockets/udp_socket.h"
#include "quillon/requests/reply_decoder.h"
#include "velkor/control/velkor_ids.h"

namespace quillon {

using platform::automation::Variant;

// `tmrTimeout`: enabled while a request waits, a tick every interval from the moment it was
// enabled. Enabling and disabling happen once per exchange, tens of thousands of times in a
// run, while a tick is due only every two seconds: they only note the time, and the one Qt
// timer behind is re-armed lazily when it fires, instead of being registered with the event
// loop and removed again for every exchange.
class TimeoutTimer {
 public:
  TimeoutTimer(int intervalMs, std::function<void()> onTick) : interval_(intervalMs), onTick_(std::move(onTick)) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.callOnTimeout([this] { fired(); });
  }
  void enable() {
    enabled_ = true;
    due_ = Clock::now() + interval_;
    // Armed for an earlier moment at most (a due time only moves later): it re-arms then.
    if (!timer_.isActive()) timer_.start(interval_);
  }
  void disable() { enabled_ = false; }
  bool enabled() const { return enabled_; }
  void stop() {
    enabled_ = false;
    timer_.stop();
  }

 private:
  using Clock = std::chrono::steady_clock;
  void fired() {
    if (!enabled_) return;
    const Clock::time_point now = Clock::now();
    if (now < due_) {
      timer_.start(std::chrono::ceil<std::chrono::milliseconds>(due_ - now));
      return;
    }
    due_ = now + interval_;
    timer_.start(interval_);
    onTick_();
  }

  std::chrono::milliseconds interval_;
  std::function<void()> onTick_;
  QTimer timer_;
  Clock::time_point due_{};
  bool enabled_ = false;
};

// The control's events reach the handlers through this sink; the timer lives here so that
// the header stays free of Qt.
class VelkorExchange::Wiring : public platform::automation::EventSink {
 public:
  explicit Wiring(VelkorExchange& owner, int tickIntervalMs)
      : tmrTimeout(tickIntervalMs, [this] { owner_.onTimeoutTick(); }), owner_(owner) {}
  void onEvent(platform::automation::DispId id, std::span<const Variant> args) override {
    if (id == velkor::DISPID_OnReceive) {
      owner_.onReceive();
    } else if (id == velkor::DISPID_OnError) {
      // The save run ignores the control's errors; the port's opening reads the last one.
      std::int32_t code = 0;
      if (!args.empty() && platform::automation::Succeeded(args[0].toInt32(code))) owner_.lastControlError_ = code;
    }
  }
  TimeoutTimer tmrTimeout;
  // Reused for every request and reply, so that an exchange allocates nothing.
  Variant request;
  Variant reply;

 private:
  VelkorExchange& owner_;
};

VelkorExchange::VelkorExchange(std::shared_ptr<platform::automation::Control> control, platform::shell::CodePage codePage,
                               int tickIntervalMs)
    : Exchange(std::move(codePage)),
      control_(std::move(control)),
      wiring_(std::make_unique<Wiring>(*this, tickIntervalMs)) {
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
  // A named drive: only its replies are taken. The control compares the sender's dotted
  // address with DestIp as text, so a host name is resolved here first.
  const bool namedDrive = destIp != kDefaultDestIp;
  std::string destination = destIp;
  if (namedDrive && platform::sockets::resolveDotted(destIp, destination) != platform::sockets::kNoError)
    return "the drive's address " + destIp + " cannot be resolved";
  auto& c = *control_;
  c.put(velkor::DISPID_PortOpen, Variant(false));
  c.put(velkor::DISPID_DestIp, Variant(destination));
  c.put(velkor::DISPID_DestPort, Variant(static_cast<std::int32_t>(destPort)));
  c.put(velkor::DISPID_LoopBackMode, Variant(false));
  c.put(velkor::DISPID_MyPort, Variant(static_cast<std::int32_t>(myPort)));
  c.put(velkor::DISPID_SrcIpFilter, Variant(namedDrive));
  // The control reads and writes text in the code page given here, and in no other. A control
  // without the property converts in windows-1252 only.
  if (platform::automation::Failed(c.put(velkor::DISPID_CodePage, Variant(codePage_.name()))) &&
      codePage_.name() != platform::shell::kDefaultAnsiCodePage)
    return "the Velkor control does not take the code page \"" + codePage_.name() + "\"";
  for (const platform::automation::DispId routing : {velkor::DISPID_DestBus, velkor::DISPID_DestUnit, velkor::DISPID_DestSlot,
                                           velkor::DISPID_DestStation, velkor::DISPID_OutV27DA,
                                           velkor::DISPID_OutV27SA})
    c.put(routing, Variant(static_cast<std::int32_t>(0)));
  lastControlError_.reset();
  c.put(velkor::DISPID_PortOpen, Variant(true));

  if (portOpen()) {
    destination_ = destination + ":" + std::to_string(destPort);
    destPort_ = destPort;
    broadcasting_ = !namedDrive;
    Variant bound;
    std::int32_t port = myPort;
    if (platform::automation::Succeeded(c.get(velkor::DISPID_MyPort, bound))) bound.toInt32(port);
    boundPort_ = static_cast<std::uint16_t>(port);
    return {};
  }
  const std::string port = std::to_string(myPort);
  const std::string socketError =
      lastControlError_ ? " (" + platform::sockets::SocketErrorText(*lastControlError_) + ")" : std::string();
  if (lastControlError_ == platform::sockets::WSAEADDRINUSE)
    return "the tool's own UDP port " + port + " is in use by another program" + socketError +
           "; choose another with --port (0 takes any free port)";
  if (lastControlError_ == platform::sockets::WSAEACCES)
    return "the tool's own UDP port " + port + " may not be used by this user" + socketError +
           "; choose another with --port";
  return "the Velkor control could not open UDP port " + port + " for the drive " + destIp + ":" +
         std::to_string(destPort) + socketError;
}

bool VelkorExchange::transact(std::string_view request, ReplyForm form) {
  ExchangeState& s = state_;
  if (s.AbortFlag) return false;
  // Only a datagram that arrives after this request was sent may answer it: a late reply to
  // an earlier request must not be decoded as this one's.
  s.ReplyFlag = false;
  const auto start = std::chrono::steady_clock::now();
  resendsOfRequest_ = 0;
  answerers_.clear();
  s.RequestBuf.assign(request.begin(), request.end());
  sendRequestBuf();
  s.BinaryReplyFlag = form == ReplyForm::Binary;
  wiring_->tmrTimeout.enable();
  const bool replied = waitForReplyOrAbort();
  wiring_->tmrTimeout.disable();
  transactTime_ += std::chrono::steady_clock::now() - start;
  if (!replied) return false;
  if (resendsOfRequest_ > 0) reportAnswered();
  s.ReplyFlag = false;
  const bool empty = s.BinaryReplyFlag ? s.ReplyBytes.empty() : s.ReplyText.empty();
  if (empty) {
    // A datagram that ends within its header carries no status byte: nothing says the drive
    // accepted the request, so it is no positive reply.
    s.abortWith(MalformedReplyText(request, "the reply holds no status byte"));
    return false;
  }
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
  wiring_->request.assignBytes(state_.RequestBuf);
  control_->put(velkor::DISPID_Output, wiring_->request);
  ++sendCount_;
}

void VelkorExchange::reopenPort() {
  control_->put(velkor::DISPID_PortOpen, Variant(false));
  // The port first bound, also when the socket layer chose it: replies to the earlier sends
  // of this request still find the tool there.
  control_->put(velkor::DISPID_MyPort, Variant(static_cast<std::int32_t>(boundPort_)));
  control_->put(velkor::DISPID_PortOpen, Variant(true));
  if (portOpen()) return;
  // Someone took the port in between: any free one, so that at least the re-sends are answered.
  control_->put(velkor::DISPID_MyPort, Variant(static_cast<std::int32_t>(0)));
  control_->put(velkor::DISPID_PortOpen, Variant(true));
}

std::vector<DriveAddress> VelkorExchange::answerersOfLastRequest(std::chrono::milliseconds window) {
  if (!broadcasting_) return answerers_;
  // Answers that come now are only counted (onReceive takes none while ReplyFlag is clear and
  // no request waits); Cancel ends the listening early.
  const auto end = std::chrono::steady_clock::now() + window;
  listening_ = true;
  QTimer wakeUp;
  wakeUp.setSingleShot(true);
  wakeUp.start(window);
  while (!state_.AbortFlag && std::chrono::steady_clock::now() < end)
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  listening_ = false;
  return answerers_;
}

std::string VelkorExchange::lockOnto(const std::string& address) {
  // The source filter compares dotted addresses as text: a host name is resolved first.
  std::string dotted;
  if (platform::sockets::resolveDotted(address, dotted) != platform::sockets::kNoError)
    return "the drive's address " + address + " cannot be resolved";
  auto& c = *control_;
  c.put(velkor::DISPID_PortOpen, Variant(false));
  c.put(velkor::DISPID_DestIp, Variant(dotted));
  c.put(velkor::DISPID_SrcIpFilter, Variant(true));
  c.put(velkor::DISPID_MyPort, Variant(static_cast<std::int32_t>(boundPort_)));
  lastControlError_.reset();
  c.put(velkor::DISPID_PortOpen, Variant(true));
  if (!portOpen()) {
    const std::string socketError =
        lastControlError_ ? " (" + platform::sockets::SocketErrorText(*lastControlError_) + ")" : std::string();
    return "the tool's own UDP port " + std::to_string(boundPort_) + " could not be opened again for the drive " +
           address + socketError;
  }
  broadcasting_ = false;
  answerers_.clear();
  destination_ = address + ":" + std::to_string(destPort_);
  return {};
}

std::string VelkorExchange::aimAt(const std::string& destination) {
  return configureAndOpen(destination.empty() ? kDefaultDestIp : destination, destPort_, boundPort_);
}

void VelkorExchange::noteSender() {
  Variant value;
  DriveAddress sender;
  if (platform::automation::Succeeded(control_->get(velkor::DISPID_InSrcIp, value))) value.toText(sender.address);
  std::int32_t port = 0;
  if (platform::automation::Succeeded(control_->get(velkor::DISPID_InSrcPort, value))) value.toInt32(port);
  sender.port = static_cast<std::uint16_t>(port);
  for (const DriveAddress& known : answerers_)
    if (known.address == sender.address) return;
  answerers_.push_back(std::move(sender));
}

bool VelkorExchange::portOpen() {
  Variant open;
  bool isOpen = false;
  if (platform::automation::Succeeded(control_->get(velkor::DISPID_PortOpen, open))) open.toBool(isOpen);
  return isOpen;
}

namespace {

// The status and the refusal's code: the first two bytes of the text's ANSI form (`MidMbcs` at
// bytes 1 and 2), also when they are the halves of one double-byte character. Two characters
// give at least two bytes in any code page, so only those are converted.
std::string leadingAnsiBytes(std::string_view text, const platform::shell::CodePage& codePage) {
  std::size_t end = 0;
  for (int characters = 0; characters < 2 && end < text.size(); ++characters)
    end += platform::shell::Utf8CharacterLength(text, end);
  return codePage.toAnsi(text.substr(0, end)).substr(0, 2);
}

// Character 1 of a text reply is its status. A status byte that the code page reads together
// with the byte after it as one double-byte character is made a character of its own (held as
// its byte), so that the fields stay at their positions.
void keepStatusAlone(std::string& text, const platform::shell::CodePage& codePage) {
  if (text.empty() || codePage.toAnsi(text.substr(0, platform::shell::Utf8CharacterLength(text, 0))).size() < 2) return;
  const std::string ansi = codePage.toAnsi(text);
  text = codePage.fromAnsi(ansi.substr(0, 1)) + codePage.fromAnsi(ansi.substr(1));
}

}  // namespace

void VelkorExchange::onReceive() {
  ExchangeState& s = state_;
  if (broadcasting_) {
    noteSender();
    // A further answer to the broadcast: counted, never taken, so that two drives' replies are
    // never mixed. Its payload is read only to be let go.
    if (listening_ || s.ReplyFlag) {
      control_->get(s.BinaryReplyFlag ? velkor::DISPID_InputB : velkor::DISPID_Input, wiring_->reply);
      return;
    }
  }
  s.RetryCount = 0;
  std::optional<std::uint8_t> status, code;
  Variant& payload = wiring_->reply;
  if (s.BinaryReplyFlag) {
    control_->get(velkor::DISPID_InputB, payload);
    const std::span<const std::uint8_t> bytes = payload.byteElements();
    s.ReplyBytes.assign(bytes.begin(), bytes.end());
    if (!s.ReplyBytes.empty()) status = s.ReplyBytes[0];
    if (s.ReplyBytes.size() > 1) code = s.ReplyBytes[1];
  } else {
    s.ReplyText.clear();
    control_->get(velkor::DISPID_Input, payload);
    payload.toText(s.ReplyText);
    keepStatusAlone(s.ReplyText, codePage_);
    // The status is the datagram's first byte, even when the text holds double-byte characters.
    const std::string ansi = leadingAnsiBytes(s.ReplyText, codePage_);
    if (!ansi.empty()) status = static_cast<std::uint8_t>(ansi[0]);
    if (ansi.size() > 1) code = static_cast<std::uint8_t>(ansi[1]);
  }
  if (status != kNakStatus) {
    s.ReplyFlag = true;
    return;
  }
  s.abortWith(RefusalText(code, pendingRequest(), destination_));
}

void VelkorExchange::onTimeoutTick() {
  ExchangeState& s = state_;
  if (s.ReplyFlag) return;
  // After an abort (Cancel may land in the same round as a tick) nothing more is sent.
  if (s.AbortFlag) return;
  ++s.RetryCount;
  if (s.RetryCount >= kTimeoutTicks) {
    s.abortWith(TimeoutText(destination_, pendingRequest(), resendsOfRequest_ + 1));
    return;
  }
  reopenPort();
  sendRequestBuf();
  ++resendsOfRequest_;
  reportResend(s.RetryCount, kTimeoutTicks - 1);
}

bool VelkorExchange::timerEnabled() const { return wiring_->tmrTimeout.enabled(); }

}  // namespace quillon
