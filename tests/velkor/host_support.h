#pragma once
// What the control tests need of a host: an event loop, an event recorder, dispatch
// shorthands, scratch folders, and a plain UDP peer on loopback that plays the drive.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>
#include <vector>

#include "platform/automation/dispatch.h"
#include "velkor/framing/framing.h"

namespace testhost {

using Bytes = std::vector<std::uint8_t>;
using platform::automation::Variant;

inline void ensureApplication() {
  static int argc = 1;
  static char name[] = "velkor_test";
  static char* argv[] = {name, nullptr};
  static QCoreApplication* app = QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
  (void)app;
}

// Runs the event loop until `done` holds or a generous bound passes (a safety net, not a
// timing assertion).
inline bool runUntil(const std::function<bool()>& done, int boundMs = 3000) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > boundMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
  }
  return true;
}

// Lets any datagrams already on their way arrive and be handled.
inline void settle() {
  for (int i = 0; i < 5; ++i) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ::usleep(2000);
  }
  QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

struct EventRecorder : platform::automation::EventSink {
  int receives = 0;
  std::vector<std::int32_t> errors;
  std::function<void()> onReceiveHandler;
  void onEvent(platform::automation::DispId id, std::span<const platform::automation::Variant> args) override {
    if (id == 1) {
      ++receives;
      if (onReceiveHandler) onReceiveHandler();
    } else if (id == 2) {
      std::int32_t code = 0;
      if (!args.empty()) args[0].toInt32(code);
      errors.push_back(code);
    }
  }
};

// Dispatch by name as a host does it; every access must succeed.
inline Variant get(platform::automation::Dispatch& d, const char* name) {
  Variant v;
  EXPECT_EQ(d.get(name, v), platform::automation::S_OK) << name;
  return v;
}
inline std::int32_t getLong(platform::automation::Dispatch& d, const char* name) {
  std::int32_t out = -12345;
  get(d, name).toInt32(out);
  return out;
}
inline bool getBool(platform::automation::Dispatch& d, const char* name) {
  bool out = false;
  get(d, name).toBool(out);
  return out;
}
inline std::string getText(platform::automation::Dispatch& d, const char* name) {
  std::string out;
  get(d, name).toText(out);
  return out;
}
inline void put(platform::automation::Dispatch& d, const char* name, const Variant& v) {
  EXPECT_EQ(d.put(name, v), platform::automation::S_OK) << name;
}
inline Variant call(platform::automation::Dispatch& d, const char* name, std::vector<Variant> args = {}) {
  Variant result;
  EXPECT_EQ(d.call(name, args, &result), platform::automation::S_OK) << name;
  return result;
}

inline Bytes bytesOf(const Variant& v) {
  Bytes out;
  v.toByteArray(out);
  return out;
}

// A drive's reply ("RS") with the given header fields and payload, in the default byte orders.
inline Bytes replyDatagram(const std::string& payload, velkor::framing::HeaderFields fields = {}) {
  fields.marker = velkor::framing::kMarkerReply;
  return velkor::framing::buildDatagram(fields, Bytes(payload.begin(), payload.end()), velkor::framing::ByteOrders{});
}

// A folder of its own per test process (parallel runs never share one), empty at the start and
// gone at the end.
struct ScratchFolder {
  const std::filesystem::path path;
  explicit ScratchFolder(const std::string& base)
      : path(std::filesystem::path(testing::TempDir()) / (base + "_" + std::to_string(::getpid()))) {
    std::filesystem::remove_all(path);
  }
  ~ScratchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  std::string operator/(const std::string& name) const { return (path / name).string(); }
};

inline sockaddr_in loopback(std::uint32_t address = INADDR_LOOPBACK, std::uint16_t port = 0) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(address);
  a.sin_port = htons(port);
  return a;
}

// The drive's side: a blocking-with-timeout socket bound on a loopback address.
class Peer {
 public:
  explicit Peer(std::uint32_t address = INADDR_LOOPBACK) {
    fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a = loopback(address);
    bound_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    socklen_t len = sizeof a;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    timeval tv{2, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  }
  ~Peer() { ::close(fd_); }
  Peer(const Peer&) = delete;
  Peer& operator=(const Peer&) = delete;
  bool bound() const { return bound_; }
  std::uint16_t port() const { return port_; }

  void sendTo(std::uint16_t port, const Bytes& bytes) const {
    const sockaddr_in to = loopback(INADDR_LOOPBACK, port);
    ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  }

  // The next datagram, or nothing after the receive bound.
  Bytes receive(std::uint16_t* senderPort = nullptr) const {
    Bytes buf(2048);
    sockaddr_in from{};
    socklen_t len = sizeof from;
    const ssize_t n = ::recvfrom(fd_, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&from), &len);
    if (senderPort) *senderPort = ntohs(from.sin_port);
    buf.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return buf;
  }

 private:
  int fd_ = -1;
  bool bound_ = false;
  std::uint16_t port_ = 0;
};

// A free UDP port on loopback at the moment of asking.
inline std::uint16_t freePort() { return Peer().port(); }

// A control of type `Ctrl` on loopback, its event recorder, and a peer as the drive.
template <typename Ctrl>
struct ControlRig {
  std::shared_ptr<Ctrl> control = std::make_shared<Ctrl>();
  EventRecorder events;
  Peer drive;
  std::uint16_t myPort = freePort();

  ControlRig() {
    ensureApplication();
    control->advise(&events);
    put(*control, "DestIp", "127.0.0.1");
    put(*control, "DestPort", static_cast<std::int32_t>(drive.port()));
    put(*control, "MyPort", static_cast<std::int32_t>(myPort));
    put(*control, "SrcIpFilter", false);
  }
  void open() {
    put(*control, "PortOpen", true);
    EXPECT_TRUE(getBool(*control, "PortOpen"));
  }
  // Sends `datagram` to the control and waits for its receive event.
  bool deliver(const Bytes& datagram) {
    const int before = events.receives;
    drive.sendTo(myPort, datagram);
    return runUntil([&] { return events.receives > before; }, 1500);
  }
  // Sends `datagram` to the control and lets it be handled, whatever the control makes of it.
  void sendAndSettle(const Bytes& datagram) {
    drive.sendTo(myPort, datagram);
    settle();
  }
};

}  // namespace testhost
