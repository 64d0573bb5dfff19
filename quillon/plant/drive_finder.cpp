#include "quillon/plant/drive_finder.h"

#include <QTimer>

#include "quillon/live_exchange/velkor_exchange.h"
#include "velkor/control/velkor_ids.h"

namespace quillon::plant {

using platform::automation::Variant;

class DriveFinder::Wiring : public platform::automation::EventSink {
 public:
  explicit Wiring(DriveFinder& owner) : owner_(owner) {}
  void onEvent(platform::automation::DispId id, std::span<const Variant>) override {
    if (id == velkor::DISPID_OnReceive) owner_.received();
  }
  QTimer timer;

 private:
  DriveFinder& owner_;
};

std::unique_ptr<DriveFinder> DriveFinder::Open(std::chrono::milliseconds every, std::string& error) {
  std::unique_ptr<DriveFinder> finder(new DriveFinder);
  finder->broadcast_ = OpenVelkorExchange(kDefaultDestIp, kDrivePort, 0, {}, error);
  if (!finder->broadcast_) return nullptr;
  finder->wiring_ = std::make_unique<Wiring>(*finder);
  // Every answer is taken here, not by the exchange: it sends nothing itself.
  finder->broadcast_->control().advise(finder->wiring_.get());
  finder->wiring_->timer.setInterval(every);
  QObject::connect(&finder->wiring_->timer, &QTimer::timeout, [f = finder.get()] { f->ask(); });
  return finder;
}

DriveFinder::~DriveFinder() {
  if (broadcast_) broadcast_->control().advise(nullptr);
}

void DriveFinder::onFound(Found found) {
  found_ = std::move(found);
  ask();
  wiring_->timer.start();
}

void DriveFinder::ask() {
  static const std::uint8_t kInterfaceVersionRequest[] = {'Q', 'T'};
  Variant request;
  request.assignBytes(kInterfaceVersionRequest);
  broadcast_->control().put(velkor::DISPID_Output, request);
}

void DriveFinder::received() {
  auto& control = broadcast_->control();
  Variant value;
  std::string host;
  std::int32_t port = 0;
  if (platform::automation::Succeeded(control.get(velkor::DISPID_InSrcIp, value))) value.toText(host);
  if (platform::automation::Succeeded(control.get(velkor::DISPID_InSrcPort, value))) value.toInt32(port);
  control.get(velkor::DISPID_InputB, value);  // takes the datagram, so that the next one is read
  const std::span<const std::uint8_t> reply = value.byteElements();
  // A refusal or an empty datagram is no drive's interface version.
  if (host.empty() || port <= 0 || port > 65535 || reply.empty() || reply[0] == kNakStatus) return;
  const DriveAddress drive{host, static_cast<std::uint16_t>(port)};
  if (known_.insert(drive.text()).second && found_) found_(drive);
}

}  // namespace quillon::plant
