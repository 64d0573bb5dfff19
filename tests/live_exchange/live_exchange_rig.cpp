#include "tests/live_exchange/live_exchange_rig.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <cstdlib>
#include <system_error>

namespace quillon_test {

void EnsureCoreApplication() {
  static int argc = 1;
  static char name[] = "exchange";
  static char* argv[] = {name, nullptr};
  if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
}

LiveExchangeRig::LiveExchangeRig(drivesim::Misbehaviour misbehaviour, int tickIntervalMs,
                                 drivesim::DriveOptions options) {
  EnsureCoreApplication();
  makeRegistry();
  if (!error_.empty()) return;
  // The tool reads the drive's texts in the code page the drive sends them in.
  std::optional<platform::shell::CodePage> codePage = platform::shell::CodePage::Named(options.codePage, &error_);
  if (!codePage) return;
  drive_ = std::make_unique<drivesim::SimulatedDrive>(drivesim::DriveProfile(std::move(options)),
                                                      std::move(misbehaviour));
  drivesim::DriveEndpoint endpoint;  // 127.0.0.1, any free port
  if (!drive_->start(endpoint, error_)) return;
  std::shared_ptr<platform::automation::Control> control = quillon::CreateVelkorControl(error_);
  if (!control) return;
  exchange_ = std::make_unique<quillon::VelkorExchange>(std::move(control), std::move(*codePage), tickIntervalMs);
  // The tool's own port 0: any free one, so parallel runs never collide.
  error_ = exchange_->configureAndOpen(drivesim::kDefaultAddress, drive_->port(), 0);
}

LiveExchangeRig::~LiveExchangeRig() {
  exchange_.reset();
  if (drive_) drive_->stop();
  unsetenv("QUILLON_REGISTRY");
  std::error_code ec;
  if (!registry_.empty()) std::filesystem::remove_all(registry_, ec);
}

void LiveExchangeRig::makeRegistry() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quillon_exchange_registry_XXXXXX").string();
  if (!::mkdtemp(pattern.data())) {
    error_ = "no temporary folder for the registration store";
    return;
  }
  registry_ = pattern;
  setenv("QUILLON_REGISTRY", registry_.c_str(), 1);
}

void LiveExchangeRig::runEventsFor(int ms) {
  // A nested loop sleeps between events; processEvents with a time limit would spin.
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

bool LiveExchangeRig::awaitDriveRequests(std::size_t count, int boundMs) {
  QElapsedTimer timer;
  timer.start();
  while (drive_->requestCount() < count) {
    if (timer.elapsed() > boundMs) return false;
    runEventsFor(5);
  }
  return true;
}

}  // namespace quillon_test
