#include "tests/requests/loopback_exchange.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "velkor/framing/framing.h"

namespace quillon_test {

namespace fr = velkor::framing;

namespace {
constexpr int kTicksBeforeTimeout = 10;
constexpr std::uint8_t kNak = 0x15;
}  // namespace

LoopbackExchange::LoopbackExchange(std::uint16_t drivePort, std::chrono::milliseconds resendAfter)
    : resendAfter_(resendAfter) {
  socket_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in own{};
  own.sin_family = AF_INET;
  own.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  sockaddr_in drive = own;
  drive.sin_port = htons(drivePort);
  if (socket_ < 0 || ::bind(socket_, reinterpret_cast<sockaddr*>(&own), sizeof own) != 0 ||
      ::connect(socket_, reinterpret_cast<sockaddr*>(&drive), sizeof drive) != 0)
    openError_ = std::strerror(errno);
}

LoopbackExchange::~LoopbackExchange() {
  if (socket_ >= 0) ::close(socket_);
}

bool LoopbackExchange::sendRequest() {
  const std::vector<std::uint8_t> datagram = fr::buildDatagram(fr::HeaderFields{}, state_.RequestBuf, {});
  ++sendCount_;
  return ::send(socket_, datagram.data(), datagram.size(), 0) == static_cast<ssize_t>(datagram.size());
}

bool LoopbackExchange::awaitReply(std::string& payload) {
  const auto deadline = std::chrono::steady_clock::now() + resendAfter_;
  std::uint8_t buffer[fr::kMaxDatagram + 64];
  while (true) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd ready{socket_, POLLIN, 0};
    if (::poll(&ready, 1, static_cast<int>(left.count())) <= 0) continue;
    const ssize_t n = ::recv(socket_, buffer, sizeof buffer, 0);
    if (n < static_cast<ssize_t>(fr::kMinAcceptedSize)) continue;
    const std::span<const std::uint8_t> received(buffer, static_cast<std::size_t>(n));
    if (!fr::markerAccepted(received, false)) continue;
    const fr::DecodedDatagram reply = fr::decodeDatagram(received, {});
    payload.assign(reply.payload.begin(), reply.payload.end());
    return true;
  }
}

bool LoopbackExchange::transact(std::string_view request, quillon::ReplyForm form) {
  if (state_.AbortFlag) return false;
  if (!openError_.empty()) {
    state_.abortWith("The exchange has no socket: " + openError_);
    return false;
  }
  state_.RequestBuf.assign(request.begin(), request.end());
  state_.BinaryReplyFlag = form == quillon::ReplyForm::Binary;
  std::string payload;
  for (state_.RetryCount = 0; state_.RetryCount < kTicksBeforeTimeout; ++state_.RetryCount) {
    if (!sendRequest() || !awaitReply(payload)) continue;
    state_.RetryCount = 0;
    if (!payload.empty() && static_cast<std::uint8_t>(payload[0]) == kNak) {
      state_.abortWith("NAK (" + std::to_string(payload.size() > 1 ? static_cast<std::uint8_t>(payload[1]) : 0) + ")");
      return false;
    }
    if (state_.BinaryReplyFlag) state_.ReplyBytes.assign(payload.begin(), payload.end());
    else state_.ReplyText = payload;
    state_.ReplyFlag = false;
    return true;
  }
  state_.abortWith("Timeout");
  return false;
}

}  // namespace quillon_test
