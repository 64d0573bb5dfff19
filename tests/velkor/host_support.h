#pragma once
// What the control tests need of a host: an event loop, an event recorder, and a plain
// UDP peer on 127.0.0.1 that plays the drive.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/automation/dispatch.h"

namespace testhost {

// A folder name of its own per test process, so parallel runs never share a store.
inline std::string uniqueTempName(const std::string& base) {
  return base + "_" + std::to_string(::getpid());
}

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

// A free UDP port on loopback at the moment of asking.
inline std::uint16_t freePort() {
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(fd);
  return ntohs(a.sin_port);
}

// The drive's side: a blocking-with-timeout socket bound on 127.0.0.1.
class Peer {
 public:
  Peer() {
    fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    timeval tv{2, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  }
  ~Peer() { ::close(fd_); }
  std::uint16_t port() const { return port_; }

  void sendTo(std::uint16_t port, const std::vector<std::uint8_t>& bytes) const {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(port);
    ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  }

  // The next datagram, or nothing after the receive bound.
  std::vector<std::uint8_t> receive(std::uint16_t* senderPort = nullptr) const {
    std::vector<std::uint8_t> buf(2048);
    sockaddr_in from{};
    socklen_t len = sizeof from;
    const ssize_t n = ::recvfrom(fd_, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&from), &len);
    if (senderPort) *senderPort = ntohs(from.sin_port);
    buf.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return buf;
  }

  bool nothingWaiting() const {
    std::uint8_t b;
    return ::recv(fd_, &b, 1, MSG_PEEK | MSG_DONTWAIT) < 0;
  }

 private:
  int fd_ = -1;
  std::uint16_t port_ = 0;
};

inline std::vector<std::uint8_t> bytesOf(const platform::automation::Variant& v) {
  std::vector<std::uint8_t> out;
  v.toByteArray(out);
  return out;
}

}  // namespace testhost
