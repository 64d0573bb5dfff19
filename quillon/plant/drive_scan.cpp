#include "quillon/plant/drive_scan.h"

#include <arpa/inet.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <memory>

#include "platform/sockets/socket_errors.h"
#include "quillon/convert/save_folder_files.h"
#include "quillon/live_exchange/velkor_exchange.h"
#include "quillon/requests/identify_drive.h"
#include "quillon/requests/identity_requests.h"
#include "quillon/requests/trace_back_requests.h"
#include "velkor/capture/ostrin_ids.h"
#include "velkor/control/velkor_ids.h"

namespace quillon {
namespace {

using platform::automation::Control;
using platform::automation::InvokeKind;
using platform::automation::Variant;

// More answers than any plant network holds drives; the rest would be lost, not mixed.
constexpr std::int32_t kCaptureCapacity = 1024;

std::string textOf(const Variant& value) {
  std::string text;
  value.toText(text);
  return text;
}

std::string callWithIndex(Control& control, platform::automation::DispId method, std::int32_t n) {
  const Variant argument(n);
  Variant result;
  control.invoke(method, InvokeKind::Method, {&argument, 1}, &result);
  return textOf(result);
}

// One capture control asking one target: its own socket on a free port, so that every target
// is asked at once and no answer is lost to a port closed and opened again.
class QtQuestion {
 public:
  QtQuestion(std::shared_ptr<Control> control, ScanTarget target)
      : control_(std::move(control)), target_(std::move(target)),
        sink_([this](platform::automation::DispId id, std::span<const Variant> args) {
          std::int32_t code = 0;
          if (id == velkor::DISPID_OnError && !args.empty() && platform::automation::Succeeded(args[0].toInt32(code)))
            error_ = code;
        }) {
    control_->advise(&sink_);
  }
  ~QtQuestion() {
    control_->invoke(velkor::DISPID_CaptureRelease, InvokeKind::Method, {}, nullptr);
    control_->put(velkor::DISPID_PortOpen, Variant(false));
    control_->advise(nullptr);
  }
  QtQuestion(const QtQuestion&) = delete;
  QtQuestion& operator=(const QtQuestion&) = delete;

  // Opens toward the target, starts capturing and sends "QT"; empty, or what went wrong.
  std::string ask(const ScanOptions& options) {
    Control& c = *control_;
    c.put(velkor::DISPID_DestIp, Variant(target_.address));
    c.put(velkor::DISPID_DestPort, Variant(static_cast<std::int32_t>(options.drivePort)));
    c.put(velkor::DISPID_MyPort, Variant(static_cast<std::int32_t>(0)));
    c.put(velkor::DISPID_LoopBackMode, Variant(false));
    c.put(velkor::DISPID_SrcIpFilter, Variant(false));
    c.put(velkor::DISPID_CodePage, Variant(options.codePage.name()));
    c.put(velkor::DISPID_PortOpen, Variant(true));
    if (!isOpen()) return socketProblem("its UDP port could not be opened");
    const Variant capacity(kCaptureCapacity);
    c.invoke(velkor::DISPID_CaptureStart, InvokeKind::Method, {&capacity, 1}, nullptr);
    error_.reset();
    c.put(velkor::DISPID_Output, Variant::bytes({'Q', 'T'}));
    return error_ ? socketProblem("\"QT\" could not be sent") : std::string();
  }

  // Every answer caught, as sender and text.
  std::vector<std::pair<DriveAddress, std::string>> answers() {
    Control& c = *control_;
    std::vector<std::pair<DriveAddress, std::string>> caught;
    Variant count;
    std::int32_t n = 0;
    if (platform::automation::Failed(c.get(velkor::DISPID_CaptureCount, count)) ||
        platform::automation::Failed(count.toInt32(n)))
      return caught;
    for (std::int32_t i = 0; i < n; ++i) {
      c.put(velkor::DISPID_CaptureSelect, Variant(i));
      Variant address, port, text;
      c.get(velkor::DISPID_InSrcIp, address);
      c.get(velkor::DISPID_InSrcPort, port);
      c.get(velkor::DISPID_Input, text);
      std::int32_t portNumber = 0;
      port.toInt32(portNumber);
      caught.push_back({{textOf(address), static_cast<std::uint16_t>(portNumber)}, textOf(text)});
    }
    return caught;
  }

  const ScanTarget& target() const { return target_; }

 private:
  bool isOpen() {
    Variant open;
    bool value = false;
    if (platform::automation::Succeeded(control_->get(velkor::DISPID_PortOpen, open))) open.toBool(value);
    return value;
  }
  std::string socketProblem(const std::string& what) const {
    return what + (error_ ? " (" + platform::sockets::SocketErrorText(*error_) + ")" : std::string());
  }

  std::shared_ptr<Control> control_;
  ScanTarget target_;
  platform::automation::FunctionEventSink sink_;
  std::optional<std::int32_t> error_;
};

std::vector<ScanTarget> broadcastTargets(Control& control) {
  std::vector<ScanTarget> targets;
  const auto add = [&targets](const std::string& address, const std::string& adapter) {
    for (const ScanTarget& known : targets)
      if (known.address == address) return;
    targets.push_back({address, adapter, {}});
  };
  for (std::int32_t n = 0;; ++n) {
    const std::string address = callWithIndex(control, velkor::DISPID_MyIpMulti, n);
    if (address.empty()) break;
    const std::string mask = callWithIndex(control, velkor::DISPID_MyIpMaskMulti, n);
    if (const std::string broadcast = DirectedBroadcast(address, mask); !broadcast.empty())
      add(broadcast, address + "/" + mask);
  }
  add(kDefaultDestIp, "");
  return targets;
}

// Runs the event loop for `span`, or until the caller cancels.
void collectFor(std::chrono::milliseconds span, const ScanEvents& events) {
  const auto end = std::chrono::steady_clock::now() + span;
  QTimer poll;
  poll.start(std::chrono::milliseconds(50));  // wakes the loop to look at the clock and Cancel
  while (std::chrono::steady_clock::now() < end && !(events.cancelled && events.cancelled()))
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

// What the "QT" answer told, or why it tells nothing.
void takeInterfaceVersion(FoundDrive& drive, const std::string& answer) {
  constexpr char kNak = 21;
  if (!answer.empty() && answer[0] == kNak) {
    drive.note = "it refused \"QT\"";
    return;
  }
  ExchangeState state;
  state.ReplyText = answer;
  DecodeInterfaceVersion(state, drive.identity);
  if (state.AbortFlag) drive.note = state.ErrorText;
}

// The first line of the exchange's message, and the exchange made ready for the next request.
std::string takeFailure(Exchange& exchange) {
  ExchangeState& s = exchange.state();
  std::string text = s.ErrorText.substr(0, s.ErrorText.find('\r'));
  s.AbortFlag = s.ReplyFlag = false;
  s.RetryCount = 0;
  s.ErrorText.clear();
  return text;
}

void readRecordedBanks(Exchange& exchange, FoundDrive& drive) {
  TraceBackTables tables;
  tables.resizeBankTime();
  BankRecordRequests records(exchange, tables);
  for (int b = 0; b < tables.BankCount; ++b) {
    auto bank = static_cast<std::uint8_t>(b);
    records.ReadBankTime(bank);
    if (exchange.state().AbortFlag) {
      if (!exchange.state().ErrorText.empty()) drive.note = takeFailure(exchange);
      return;
    }
    if (BankHoldsRecord(tables.bankTime(b))) drive.recordedBanks.push_back(b);
  }
}

// Asks the drive at its own address who it is and which banks hold a record.
void askDrive(FoundDrive& drive, const ScanOptions& options) {
  std::string error;
  std::shared_ptr<Control> control = CreateVelkorControl(error);
  if (!control) {
    drive.note = error;
    return;
  }
  VelkorExchange exchange(std::move(control), options.codePage, options.tickIntervalMs);
  if (const std::string why = exchange.configureAndOpen(drive.at.address, drive.at.port, 0); !why.empty()) {
    drive.note = why;
    return;
  }
  IdentifiedDrive identified{drive.at, drive.identity, {}};
  if (!IdentifyDriveAt(exchange, identified)) return;
  drive.identity = identified.identity;
  drive.note = identified.note;
  if (drive.note.empty()) readRecordedBanks(exchange, drive);
  if (!drive.note.empty()) drive.note = "answered \"QT\", then: " + drive.note;
  drive.driveDatabase = LocateDriveDb(options.databases, TrimBlanks(drive.identity.DriveType),
                                      TrimBlanks(drive.identity.DriveSoftVersion));
}

}  // namespace

std::string DirectedBroadcast(const std::string& address, const std::string& mask) {
  in_addr a{}, m{};
  if (::inet_pton(AF_INET, address.c_str(), &a) != 1 || ::inet_pton(AF_INET, mask.c_str(), &m) != 1) return {};
  if (m.s_addr == INADDR_BROADCAST) return {};
  in_addr broadcast{};
  broadcast.s_addr = a.s_addr | ~m.s_addr;
  char text[INET_ADDRSTRLEN] = {};
  return ::inet_ntop(AF_INET, &broadcast, text, sizeof text) ? text : std::string();
}

ScanResult FindAnsweringDrives(const ScanOptions& options, const ScanEvents& events) {
  ScanResult result;
  if (!QCoreApplication::instance()) {
    result.error = "the scan needs the program's event loop";
    return result;
  }
  std::string error;
  std::shared_ptr<Control> first = CreateOstrinControl(error);
  if (!first) {
    result.error = error;
    return result;
  }
  result.asked = options.drive ? std::vector<ScanTarget>{{*options.drive, "", ""}} : broadcastTargets(*first);
  if (events.asking) events.asking(result.asked);

  std::vector<std::unique_ptr<QtQuestion>> questions;
  for (ScanTarget& target : result.asked) {
    std::shared_ptr<Control> control = questions.empty() ? first : CreateOstrinControl(error);
    if (!control) {
      result.error = error;
      return result;
    }
    auto& question = questions.emplace_back(std::make_unique<QtQuestion>(std::move(control), target));
    target.problem = question->ask(options);
  }
  collectFor(options.wait, events);

  for (const auto& question : questions) {
    for (auto& [from, answer] : question->answers()) {
      bool known = false;
      for (const FoundDrive& drive : result.drives) known = known || drive.at.address == from.address;
      if (known) continue;
      FoundDrive& drive = result.drives.emplace_back();
      drive.at = from;
      takeInterfaceVersion(drive, answer);
    }
  }
  return result;  // the questions' ports close before any drive is asked at its own address
}

ScanResult ScanForDrives(const ScanOptions& options, const ScanEvents& events) {
  ScanResult result = FindAnsweringDrives(options, events);
  for (FoundDrive& drive : result.drives) {
    if (events.cancelled && events.cancelled()) break;
    if (drive.note.empty()) askDrive(drive, options);
    if (events.found) events.found(drive);
  }
  return result;
}

}  // namespace quillon
