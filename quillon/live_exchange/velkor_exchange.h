#pragma once
// The live exchange: requests go out through the Velkor control (`Velkor1`), reached only
// through its dispatch interface and event sink; the wait runs the event loop in rounds, so
// the receive handler, the timeout timer and the Cancel button run inside it.
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/dispatch.h"
#include "quillon/requests/exchange.h"

namespace quillon {

inline constexpr int kTimeoutIntervalMs = 2000;  // `tmrTimeout`
inline constexpr int kTimeoutTicks = 10;         // the tenth silent tick ends the run
inline constexpr std::uint8_t kNakStatus = 21;   // 0x15, a refused request

inline constexpr const char* kDefaultDestIp = "255.255.255.255";
inline constexpr const char* kVelkorControlProgId = "VELKOR.VelkorCtrl.1";

class VelkorExchange : public Exchange {
 public:
  // Takes the created control; needs a QCoreApplication. The control is given `codePage` for
  // its texts. `tickIntervalMs` is the timer's interval (the program keeps kTimeoutIntervalMs).
  explicit VelkorExchange(std::shared_ptr<platform::automation::Control> control, platform::shell::CodePage codePage = {},
                          int tickIntervalMs = kTimeoutIntervalMs);
  ~VelkorExchange() override;
  VelkorExchange(const VelkorExchange&) = delete;
  VelkorExchange& operator=(const VelkorExchange&) = delete;

  // Start-up's configuration of the control (destination, ports, loop-back off, routing
  // values 0, the code page), then opens the port. A named drive (not the broadcast address) is resolved to
  // its dotted address and only its replies are taken (source filter on). Empty when open,
  // otherwise why not.
  std::string configureAndOpen(const std::string& destIp, std::uint16_t destPort, std::uint16_t myPort);

  bool transact(std::string_view request, ReplyForm form) override;
  bool broadcasting() const override { return broadcasting_; }
  std::vector<DriveAddress> answerersOfLastRequest(std::chrono::milliseconds window) override;
  std::string lockOnto(const std::string& address) override;
  std::string aimAt(const std::string& destination) override;

  // The handlers, bound to the control's OnReceive event and to the timer's tick.
  void onReceive();
  void onTimeoutTick();

  bool timerEnabled() const;
  // The tool's own port as first bound (the socket layer's choice for port 0); re-sends
  // reopen on it.
  std::uint16_t boundPort() const { return boundPort_; }
  // Rounds the waits have gone through so far: each one blocked until something happened.
  std::uint64_t waitRounds() const { return waitRounds_; }
  // Wall time spent inside transact() so far, from the send to the end of the wait: the rest
  // of a run is the program's own work (for benchmarks).
  std::chrono::nanoseconds transactTime() const { return transactTime_; }
  platform::automation::Control& control() { return *control_; }

 private:
  class Wiring;  // event sink and timer
  bool waitForReplyOrAbort();
  void sendRequestBuf();
  void reopenPort();
  bool portOpen();
  void noteSender();

  std::shared_ptr<platform::automation::Control> control_;
  std::unique_ptr<Wiring> wiring_;
  std::uint64_t waitRounds_ = 0;
  std::chrono::nanoseconds transactTime_{};
  std::uint16_t boundPort_ = 0;
  std::uint16_t destPort_ = 0;
  bool broadcasting_ = false;
  bool listening_ = false;  // for further answers to a broadcast
  std::vector<DriveAddress> answerers_;  // of the broadcast request last sent
  int resendsOfRequest_ = 0;
  std::optional<std::int32_t> lastControlError_;
};

// Creates "VELKOR.VelkorCtrl.1" from the module the first registration store names (the
// user's, then the system-wide one), else from this program's own module; a module of another
// version than the program's is refused. Null with `error` set.
std::shared_ptr<platform::automation::Control> CreateVelkorControl(std::string& error);

// The capture control "OSTRIN.OstrinCtrl.1" from the same module; null with `error` set.
std::shared_ptr<platform::automation::Control> CreateOstrinControl(std::string& error);

// The control `Velkor1` created and configured as start-up does it (destination, ports,
// switches, routing values 0, the drive's code page), with its port open; null with `error` set.
// `tickIntervalMs` as VelkorExchange takes it: a watch's short polls re-send sooner.
std::unique_ptr<VelkorExchange> OpenVelkorExchange(const std::string& destIp, std::uint16_t destPort,
                                                   std::uint16_t myPort, const platform::shell::CodePage& codePage,
                                                   std::string& error, int tickIntervalMs = kTimeoutIntervalMs);

}  // namespace quillon
