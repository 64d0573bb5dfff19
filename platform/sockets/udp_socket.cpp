#include "platform/sockets/udp_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QEvent>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/sockets/socket_errors.h"

namespace platform::sockets {

namespace {

int lastError() { return errorFromErrno(errno); }

constexpr std::size_t kLargestDatagram = 65536;

std::string dottedText(std::uint32_t networkOrder) {
  const auto* b = reinterpret_cast<const unsigned char*>(&networkOrder);
  return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." + std::to_string(b[3]);
}

}  // namespace

// Read notifications straight to the socket: the event loop's notification is handled in the
// notifier's event(), without a signal and slot in between.
class UdpSocket::ReadNotifier : public QSocketNotifier {
 public:
  explicit ReadNotifier(UdpSocket& socket) : QSocketNotifier(socket.fd_, QSocketNotifier::Read), socket_(socket) {}

 protected:
  bool event(QEvent* e) override {
    if (e->type() != QEvent::SockAct) return QSocketNotifier::event(e);
    socket_.notifyReadable();  // may delete this notifier: nothing of it is used afterwards
    return true;
  }

 private:
  UdpSocket& socket_;
};

UdpSocket::UdpSocket() = default;

UdpSocket::~UdpSocket() { close(); }

void UdpSocket::close() {
  notifier_.reset();
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  held_.present = false;
  broadcast_ = -1;
}

int UdpSocket::create(std::uint16_t port) {
  close();
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return lastError();
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  local.sin_port = htons(port);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    const int err = lastError();
    ::close(fd);
    return err;
  }
  fd_ = fd;
  notifier_ = std::make_unique<ReadNotifier>(*this);
  return kNoError;
}

void UdpSocket::notifyReadable() {
  // A pending socket error is what reading the queue reports first; it goes with the
  // notification, as the socket layer's read notification carries it.
  const int error = held_.present ? kNoError : holdNextDatagram();
  onReceive(error);
}

int UdpSocket::holdNextDatagram() {
  if (held_.bytes.size() < kLargestDatagram) held_.bytes.resize(kLargestDatagram);
  sockaddr_in sender{};
  socklen_t len = sizeof sender;
  const ssize_t n = ::recvfrom(fd_, held_.bytes.data(), held_.bytes.size(), MSG_TRUNC,
                               reinterpret_cast<sockaddr*>(&sender), &len);
  if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK ? kNoError : lastError();
  held_.present = true;
  held_.length = static_cast<std::size_t>(n);
  // One drive answers datagram after datagram: its address text is made once.
  if (held_.from.address.empty() || sender.sin_addr.s_addr != held_.fromAddress) {
    held_.fromAddress = sender.sin_addr.s_addr;
    held_.from.address = dottedText(sender.sin_addr.s_addr);
  }
  held_.from.port = ntohs(sender.sin_port);
  return kNoError;
}

int UdpSocket::setBroadcast(bool on) {
  if (fd_ < 0) return WSAENOTSOCK;
  const int value = on ? 1 : 0;
  if (value == broadcast_) return kNoError;
  if (::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &value, sizeof value) != 0) return lastError();
  broadcast_ = value;
  return kNoError;
}

int UdpSocket::sendTo(std::span<const std::uint8_t> data, const std::string& host, std::uint16_t port) {
  if (fd_ < 0) return WSAENOTSOCK;
  std::uint32_t address = 0;
  if (!lastDotted_.empty() && host == lastDotted_) {
    address = lastDottedAddress_;
  } else {
    if (const int err = resolveIpv4(host, address); err != kNoError) return err;
    // A dotted address reads the same every time; a host name is looked up at every send.
    in_addr literal{};
    if (::inet_pton(AF_INET, host.c_str(), &literal) == 1) {
      lastDotted_ = host;
      lastDottedAddress_ = address;
    }
  }
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = address;
  to.sin_port = htons(port);
  const ssize_t sent = ::sendto(fd_, data.data(), data.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  return sent < 0 ? lastError() : kNoError;
}

int UdpSocket::pendingBytes(std::size_t& count) {
  count = 0;
  if (fd_ < 0) return WSAENOTSOCK;
  if (!held_.present)
    if (const int err = holdNextDatagram(); err != kNoError) return err;
  if (held_.present) count = held_.length;
  return kNoError;
}

int UdpSocket::peekFrom(std::span<std::uint8_t> buffer, std::size_t& received, Endpoint& from) {
  received = 0;
  if (fd_ < 0) return WSAENOTSOCK;
  if (!held_.present)
    if (const int err = holdNextDatagram(); err != kNoError) return err;
  if (!held_.present) return WSAEWOULDBLOCK;
  received = std::min({held_.length, held_.bytes.size(), buffer.size()});
  std::copy_n(held_.bytes.begin(), received, buffer.begin());
  from = held_.from;
  return held_.length > buffer.size() ? WSAEMSGSIZE : kNoError;
}

int UdpSocket::receive(std::span<std::uint8_t> buffer, std::size_t& received) {
  received = 0;
  if (fd_ < 0) return WSAENOTSOCK;
  if (held_.present) {
    received = std::min({held_.length, held_.bytes.size(), buffer.size()});
    std::copy_n(held_.bytes.begin(), received, buffer.begin());
    held_.present = false;
    return kNoError;
  }
  // An empty buffer still removes the datagram.
  std::uint8_t scratch = 0;
  void* target = buffer.empty() ? &scratch : buffer.data();
  const ssize_t n = ::recv(fd_, target, buffer.size(), 0);
  if (n < 0) return lastError();
  received = std::min(static_cast<std::size_t>(n), buffer.size());
  return kNoError;
}

std::uint16_t UdpSocket::localPort() const {
  if (fd_ < 0) return 0;
  sockaddr_in local{};
  socklen_t len = sizeof local;
  if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &len) != 0) return 0;
  return ntohs(local.sin_port);
}

int resolveDotted(const std::string& host, std::string& dotted) {
  std::uint32_t address = 0;
  if (const int err = resolveIpv4(host, address); err != kNoError) return err;
  dotted = dottedText(address);
  return kNoError;
}

int resolveIpv4(const std::string& host, std::uint32_t& networkOrderAddress) {
  in_addr parsed{};
  if (::inet_pton(AF_INET, host.c_str(), &parsed) == 1) {
    networkOrderAddress = parsed.s_addr;
    return kNoError;
  }
  if (host.empty()) return WSAEINVAL;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* result = nullptr;
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &result) != 0 || !result) return WSAEINVAL;
  networkOrderAddress = reinterpret_cast<const sockaddr_in*>(result->ai_addr)->sin_addr.s_addr;
  ::freeaddrinfo(result);
  return kNoError;
}

std::string firstLocalIpv4() {
  char name[64] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return {};
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  addrinfo* result = nullptr;
  if (::getaddrinfo(name, nullptr, &hints, &result) != 0 || !result) return {};
  std::string text;
  if (result->ai_family == AF_INET)
    text = dottedText(reinterpret_cast<const sockaddr_in*>(result->ai_addr)->sin_addr.s_addr);
  ::freeaddrinfo(result);
  return text;
}

}  // namespace platform::sockets

namespace platform::sockets {

int Startup() {
  static const int result = [] {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return errorFromErrno(errno);
    ::close(fd);
    return kNoError;
  }();
  return result;
}

}  // namespace platform::sockets
