#include "udp_ping_pong.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

#include "drivesim/simulated_drive.h"

namespace bench {
namespace {

int loopbackSocket(sockaddr_in& bound) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) return -1;
  bound = {};
  bound.sin_family = AF_INET;
  bound.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof bound;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&bound), sizeof bound) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

double BareUdpRoundTripMicros(int rounds, std::size_t requestBytes, std::size_t replyBytes, ClientWait wait,
                              std::chrono::nanoseconds answerAfter) {
  sockaddr_in clientAddress{}, serverAddress{};
  const int client = loopbackSocket(clientAddress);
  const int server = loopbackSocket(serverAddress);
  if (client < 0 || server < 0) return -1;

  std::chrono::nanoseconds held{};
  std::thread answering([&] {
    std::vector<unsigned char> in(512), out(replyBytes, 0x06);
    for (int i = 0; i < rounds; ++i) {
      sockaddr_in from{};
      socklen_t length = sizeof from;
      if (::recvfrom(server, in.data(), in.size(), 0, reinterpret_cast<sockaddr*>(&from), &length) < 0) return;
      if (answerAfter > std::chrono::nanoseconds::zero()) {
        const auto received = std::chrono::steady_clock::now();
        drivesim::WaitUntil(received + answerAfter);
        held += std::chrono::steady_clock::now() - received;
      }
      ::sendto(server, out.data(), out.size(), 0, reinterpret_cast<sockaddr*>(&from), length);
    }
  });

  std::vector<unsigned char> request(requestBytes, 'M'), reply(512);
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < rounds; ++i) {
    ::sendto(client, request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&serverAddress),
             sizeof serverAddress);
    if (wait == ClientWait::PollThenRead) {
      pollfd readable{client, POLLIN, 0};
      ::poll(&readable, 1, -1);
    }
    ::recv(client, reply.data(), reply.size(), 0);
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  answering.join();
  ::close(client);
  ::close(server);
  return std::chrono::duration<double, std::micro>(elapsed - held).count() / rounds;
}

}  // namespace bench
