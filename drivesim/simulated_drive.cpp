#include "drivesim/simulated_drive.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace drivesim {

namespace fr = velkor::framing;

namespace {

constexpr std::size_t kReceiveBuffer = 2048;

bool wakeSignalled(int wakeFd) {
  pollfd wake{wakeFd, POLLIN, 0};
  return ::poll(&wake, 1, 0) > 0;
}

}  // namespace

bool IsLoopbackAddress(const std::string& address) {
  in_addr parsed{};
  if (::inet_pton(AF_INET, address.c_str(), &parsed) != 1) return false;
  return (ntohl(parsed.s_addr) >> 24) == 127;
}

SimulatedDrive::SimulatedDrive(DriveProfile profile, Misbehaviour misbehaviour)
    : model_(std::move(profile), std::move(misbehaviour)) {}

SimulatedDrive::~SimulatedDrive() { stop(); }

bool SimulatedDrive::start(const DriveEndpoint& endpoint, std::string& error) {
  if (socket_ >= 0) {
    error = "the simulated drive is already running";
    return false;
  }
  if (!IsLoopbackAddress(endpoint.address)) {
    error = "address " + endpoint.address + " refused: the simulated drive listens on 127.0.0.0/8 only";
    return false;
  }
  orders_ = endpoint.orders;
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = std::string("socket: ") + std::strerror(errno);
    return false;
  }
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(endpoint.port);
  ::inet_pton(AF_INET, endpoint.address.c_str(), &a.sin_addr);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    error = "cannot listen on " + endpoint.address + ":" + std::to_string(endpoint.port) + ": " + std::strerror(errno);
    ::close(fd);
    return false;
  }
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeFd_ < 0) {
    error = std::string("eventfd: ") + std::strerror(errno);
    ::close(fd);
    return false;
  }
  socket_ = fd;
  port_ = ntohs(a.sin_port);
  thread_ = std::thread([this] { run(); });
  return true;
}

void SimulatedDrive::stop() {
  if (thread_.joinable()) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
    // Ends a read that waits on the socket itself: it returns 0 from now on.
    ::shutdown(socket_, SHUT_RD);
    thread_.join();
  }
  if (socket_ >= 0) ::close(socket_);
  if (wakeFd_ >= 0) ::close(wakeFd_);
  socket_ = wakeFd_ = -1;
  pending_.clear();
}

std::vector<std::vector<std::uint8_t>> SimulatedDrive::requests() const {
  std::lock_guard lock(requestsMutex_);
  return requests_;
}

std::size_t SimulatedDrive::requestCount() const {
  std::lock_guard lock(requestsMutex_);
  return requestCount_;
}

int SimulatedDrive::pollTimeoutMs() const {
  if (pending_.empty()) return -1;
  const auto next = std::min_element(pending_.begin(), pending_.end(),
                                     [](const auto& a, const auto& b) { return a.due < b.due; })->due;
  const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - std::chrono::steady_clock::now());
  return static_cast<int>(std::max<std::int64_t>(0, wait.count() + 1));
}

void SimulatedDrive::run() {
  std::vector<std::uint8_t> buf(kReceiveBuffer);
  auto receive = [&] {
    sockaddr_in from{};
    socklen_t len = sizeof from;
    const ssize_t n = ::recvfrom(socket_, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&from), &len);
    if (n > 0)
      handleDatagram(std::span(buf.data(), static_cast<std::size_t>(n)), from.sin_addr.s_addr, from.sin_port);
    return n;
  };
  for (;;) {
    if (pending_.empty()) {
      // Nothing to send later: wait in the read itself, one system call per request. A read
      // of 0 is an empty datagram or the end that stop() asks for.
      const ssize_t n = receive();
      if ((n == 0 || (n < 0 && errno != EINTR)) && wakeSignalled(wakeFd_)) return;
    } else {
      pollfd fds[2] = {{socket_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
      const int ready = ::poll(fds, 2, pollTimeoutMs());
      if (ready < 0 && errno != EINTR) return;
      if (fds[1].revents & POLLIN) return;
      if (fds[0].revents & POLLIN) receive();
    }
    sendDue();
  }
}

void SimulatedDrive::handleDatagram(std::span<const std::uint8_t> bytes, std::uint32_t fromAddress,
                                    std::uint16_t fromPort) {
  // Requests only, and never an answer to anyone outside loopback.
  if (bytes.size() < fr::kHeaderSize || !fr::markerAccepted(bytes, true)) return;
  if ((ntohl(fromAddress) >> 24) != 127) return;
  const fr::DecodedDatagram request = fr::decodeDatagram(bytes, orders_);
  const std::vector<std::uint8_t> payload(request.payload.begin(), request.payload.end());
  {
    std::lock_guard lock(requestsMutex_);
    ++requestCount_;
    if (requests_.size() < kRequestLogLimit) requests_.push_back(payload);
  }
  const auto reply = model_.answer(payload);
  if (!reply) return;
  fr::HeaderFields fields = request.fields;
  fields.marker = fr::kMarkerReply;
  const auto due = std::chrono::steady_clock::now() + std::chrono::milliseconds(model_.misbehaviour().delayMs);
  pending_.push_back({due, fr::buildDatagram(fields, *reply, orders_), fromAddress, fromPort});
}

void SimulatedDrive::sendDue() {
  const auto now = std::chrono::steady_clock::now();
  auto due = std::stable_partition(pending_.begin(), pending_.end(), [&](const auto& p) { return p.due > now; });
  for (auto it = due; it != pending_.end(); ++it) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = it->toAddress;
    to.sin_port = it->toPort;
    ::sendto(socket_, it->datagram.data(), it->datagram.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  }
  pending_.erase(due, pending_.end());
}

}  // namespace drivesim
