#include "drivesim/simulated_drive.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>

namespace drivesim {

namespace fr = velkor::framing;

namespace {

constexpr std::size_t kReceiveBuffer = 2048;
void pauseWhileSpinning() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

timespec timespecOf(std::chrono::nanoseconds span) {
  span = std::max(span, std::chrono::nanoseconds::zero());
  return {static_cast<time_t>(span.count() / 1000000000), static_cast<long>(span.count() % 1000000000)};
}

bool wakeSignalled(int wakeFd) {
  pollfd wake{wakeFd, POLLIN, 0};
  return ::poll(&wake, 1, 0) > 0;
}

}  // namespace

void WaitUntil(std::chrono::steady_clock::time_point due) {
  const auto wake = due - kSpinBeforeDue;
  if (std::chrono::steady_clock::now() < wake) std::this_thread::sleep_until(wake);
  while (std::chrono::steady_clock::now() < due) pauseWhileSpinning();
}

std::string PlantDriveAddress(int number) { return "127.0.0." + std::to_string(10 + number); }

bool IsLoopbackAddress(const std::string& address) {
  in_addr parsed{};
  if (::inet_pton(AF_INET, address.c_str(), &parsed) != 1) return false;
  return (ntohl(parsed.s_addr) >> 24) == 127;
}

namespace {

bool sameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Where `ip netns` keeps the namespaces it made.
constexpr const char* kNamedNamespaces = "/run/netns";

}  // namespace

bool InForeignNetworkNamespace() {
  struct stat own {}, machine {};
  if (::stat("/proc/thread-self/ns/net", &own) != 0) return false;
  if (::stat("/proc/1/ns/net", &machine) == 0) return !sameFile(own, machine);
  // Where the first process cannot be looked at (a sandbox), only a namespace that `ip netns`
  // made counts as foreign.
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(kNamedNamespaces, ignored)) {
    struct stat named {};
    if (::stat(entry.path().c_str(), &named) == 0 && sameFile(own, named)) return true;
  }
  return false;
}

SimulatedDrive::SimulatedDrive(DriveProfile profile, Misbehaviour misbehaviour)
    : model_(std::move(profile), std::move(misbehaviour)) {}

SimulatedDrive::~SimulatedDrive() { stop(); }

bool SimulatedDrive::start(const DriveEndpoint& endpoint, std::string& error) {
  if (socket_ >= 0) {
    error = "the simulated drive is already running";
    return false;
  }
  in_addr listenAddress{};
  if (::inet_pton(AF_INET, endpoint.address.c_str(), &listenAddress) != 1) {
    error = "address " + endpoint.address + " refused: the simulated drive wants a dotted IPv4 address";
    return false;
  }
  answersAnySender_ = InForeignNetworkNamespace();
  if (!answersAnySender_ && !IsLoopbackAddress(endpoint.address)) {
    error = "address " + endpoint.address +
            " refused: in the machine's own network namespace the simulated drive listens on 127.0.0.0/8 only";
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
  a.sin_addr = listenAddress;
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
  heldCopies_ = 0;
}

int SimulatedDrive::recordNewFault() {
  std::lock_guard lock(modelMutex_);
  return model_.recordNewFault();
}

std::vector<std::vector<std::uint8_t>> SimulatedDrive::requests() const {
  std::lock_guard lock(requestsMutex_);
  std::vector<std::vector<std::uint8_t>> payloads;
  std::size_t begin = 0;
  for (const std::size_t end : requestEnds_) {
    payloads.emplace_back(requestBytes_.begin() + static_cast<std::ptrdiff_t>(begin),
                          requestBytes_.begin() + static_cast<std::ptrdiff_t>(end));
    begin = end;
  }
  return payloads;
}

std::size_t SimulatedDrive::requestCount() const {
  std::lock_guard lock(requestsMutex_);
  return requestCount_;
}

std::chrono::steady_clock::time_point SimulatedDrive::nextDue() const {
  return std::min_element(pending_.begin(), pending_.end(), [](const auto& a, const auto& b) { return a.due < b.due; })
      ->due;
}

void SimulatedDrive::run() {
  // Wake-ups as the delay asks, not up to the default 50 us later.
  ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
  std::vector<std::uint8_t> buf(kReceiveBuffer);
  auto receive = [&] {
    sockaddr_in from{};
    socklen_t len = sizeof from;
    const ssize_t n = ::recvfrom(socket_, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&from), &len);
    if (n > 0)
      handleDatagram(std::span(buf.data(), static_cast<std::size_t>(n)), {from.sin_addr.s_addr, from.sin_port});
    return n;
  };
  for (;;) {
    if (pending_.empty()) {
      // Nothing to send later: wait in the read itself, one system call per request. A read
      // of 0 is an empty datagram or the end that stop() asks for.
      const ssize_t n = receive();
      if ((n == 0 || (n < 0 && errno != EINTR)) && wakeSignalled(wakeFd_)) return;
    } else if (const auto due = nextDue(), now = std::chrono::steady_clock::now(); due - now > spinBeforeDue_) {
      pollfd fds[2] = {{socket_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
      const timespec wait = timespecOf(due - spinBeforeDue_ - now);
      const int ready = ::ppoll(fds, 2, &wait, nullptr);
      if (ready < 0 && errno != EINTR) return;
      if (fds[1].revents & POLLIN) return;
      if (fds[0].revents & POLLIN) receive();
    } else {
      while (std::chrono::steady_clock::now() < due) pauseWhileSpinning();
    }
    sendDue();
  }
}

std::optional<SimulatedDrive::Sender> SimulatedDrive::replyDestination(std::span<const std::uint8_t> payload,
                                                                      Sender from) {
  const int resends = model_.misbehaviour().answerAfterResends;
  if (resends <= 0) return from;
  if (heldCopies_ > 0 && std::equal(payload.begin(), payload.end(), heldRequest_.begin(), heldRequest_.end())) {
    ++heldCopies_;
  } else {
    heldRequest_.assign(payload.begin(), payload.end());
    heldFrom_ = from;
    heldCopies_ = 1;
  }
  if (heldCopies_ != resends + 1) return std::nullopt;
  return heldFrom_;
}

void SimulatedDrive::handleDatagram(std::span<const std::uint8_t> bytes, Sender from) {
  const int delayMs = model_.misbehaviour().delayMs;
  const auto received = delayMs > 0 ? std::chrono::steady_clock::now() : std::chrono::steady_clock::time_point{};
  // Requests only, and in the machine's own network namespace never an answer to anyone
  // outside loopback.
  if (bytes.size() < fr::kHeaderSize || !fr::markerAccepted(bytes, true)) return;
  if (!answersAnySender_ && (ntohl(from.address) >> 24) != 127) return;
  const fr::DecodedDatagram request = fr::decodeDatagram(bytes, orders_);
  {
    std::lock_guard lock(requestsMutex_);
    ++requestCount_;
    if (requestEnds_.size() < kRequestLogLimit) {
      requestBytes_.insert(requestBytes_.end(), request.payload.begin(), request.payload.end());
      requestEnds_.push_back(requestBytes_.size());
    }
  }
  std::optional<std::vector<std::uint8_t>> reply;
  {
    std::lock_guard lock(modelMutex_);
    reply = model_.answer(request.payload);
  }
  const std::optional<Sender> to = replyDestination(request.payload, from);
  if (!reply || !to) return;
  fr::HeaderFields fields = request.fields;
  fields.marker = fr::kMarkerReply;
  std::vector<std::uint8_t>& datagram = replyDatagram_;
  fr::buildDatagram(fields, *reply, orders_, datagram);
  if (reply->empty())  // a header-only reply, perhaps cut short
    datagram.resize(std::clamp<std::size_t>(static_cast<std::size_t>(model_.misbehaviour().headerOnlyBytes),
                                            fr::kMinAcceptedSize, fr::kHeaderSize));
  if (delayMs == 0) {
    sendTo(datagram, *to);
    return;
  }
  pending_.push_back({received, received + std::chrono::milliseconds(delayMs), datagram, *to});
}

void SimulatedDrive::sendTo(const std::vector<std::uint8_t>& datagram, Sender to) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = to.address;
  address.sin_port = to.port;
  ::sendto(socket_, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&address), sizeof address);
}

void SimulatedDrive::sendDue() {
  if (pending_.empty()) return;
  const auto now = std::chrono::steady_clock::now();
  auto due = std::stable_partition(pending_.begin(), pending_.end(), [&](const auto& p) { return p.due > now; });
  for (auto it = due; it != pending_.end(); ++it) {
    // Up to the send: sending itself is a part of any round trip, the bare one included.
    delayedReplyNanos_ += std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() -
                                                                                it->received).count();
    sendTo(it->datagram, it->to);
  }
  pending_.erase(due, pending_.end());
}

}  // namespace drivesim
