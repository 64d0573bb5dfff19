// The UDP socket over POSIX: notification on the event loop, peek, truncation, name resolution
// and the errors it reports.
#include <gtest/gtest.h>

#include <cerrno>

#include "platform/sockets/socket_errors.h"
#include "platform/sockets/udp_socket.h"
#include "tests/velkor/host_support.h"

using namespace testhost;

namespace {

class CountingSocket : public platform::sockets::UdpSocket {
 public:
  int notifications = 0;

 protected:
  void onReceive(int error) override {
    EXPECT_EQ(error, 0);
    ++notifications;
  }
};

}  // namespace

TEST(Sockets, NotifiesPeeksReceivesAndReportsWindowsSocketsCodes) {
  ensureApplication();
  CountingSocket s;
  ASSERT_EQ(s.create(0), 0);
  const std::uint16_t port = s.localPort();
  ASSERT_NE(port, 0);
  Peer peer;
  peer.sendTo(port, std::vector<std::uint8_t>(300, 'a'));
  ASSERT_TRUE(runUntil([&] { return s.notifications > 0; }));

  std::size_t pending = 0;
  ASSERT_EQ(s.pendingBytes(pending), 0);
  EXPECT_EQ(pending, 300u);
  std::uint8_t two[2];
  std::size_t got = 0;
  platform::sockets::Endpoint from;
  EXPECT_EQ(s.peekFrom(two, got, from), platform::sockets::WSAEMSGSIZE);
  EXPECT_EQ(got, 2u);
  EXPECT_EQ(from.address, "127.0.0.1");
  EXPECT_EQ(from.port, peer.port());
  std::uint8_t buf[266];
  ASSERT_EQ(s.receive(buf, got), 0);
  EXPECT_EQ(got, 266u);  // cut, rest discarded
  ASSERT_EQ(s.pendingBytes(pending), 0);
  EXPECT_EQ(pending, 0u);

  ASSERT_EQ(s.sendTo(std::vector<std::uint8_t>{1, 2, 3}, "localhost", peer.port()), 0);
  EXPECT_EQ(peer.receive(), (std::vector<std::uint8_t>{1, 2, 3}));
  EXPECT_EQ(s.sendTo(std::vector<std::uint8_t>{1}, "no-such-host.invalid", peer.port()), platform::sockets::WSAEINVAL);
  std::uint32_t address = 0;
  EXPECT_EQ(platform::sockets::resolveIpv4("127.0.0.1", address), 0);
  EXPECT_EQ(address, htonl(INADDR_LOOPBACK));
  EXPECT_EQ(platform::sockets::resolveIpv4("", address), platform::sockets::WSAEINVAL);
  EXPECT_EQ(s.setBroadcast(true), 0);
  EXPECT_EQ(s.setBroadcast(false), 0);

  CountingSocket clash;
  EXPECT_EQ(clash.create(port), platform::sockets::WSAEADDRINUSE);
  EXPECT_FALSE(clash.isOpen());
  EXPECT_EQ(clash.pendingBytes(pending), platform::sockets::WSAENOTSOCK);
  EXPECT_EQ(clash.sendTo({}, "127.0.0.1", 1), platform::sockets::WSAENOTSOCK);

  // Hosts compare what is reported with the Windows Sockets codes.
  const std::pair<int, int> codes[] = {{0, 0},           {EADDRINUSE, 10048},   {EMSGSIZE, 10040}, {EFAULT, 10014},
                                       {ENOTCONN, 10057}, {ECONNREFUSED, 10061}, {EACCES, 10013},   {EAGAIN, 10035}};
  for (const auto& [error, code] : codes) EXPECT_EQ(platform::sockets::errorFromErrno(error), code) << error;
  // A message keeps the code and adds the system's own words.
  EXPECT_EQ(platform::sockets::SocketErrorText(10048), "Windows Sockets error 10048: address already in use");
  EXPECT_EQ(platform::sockets::SocketErrorText(10013), "Windows Sockets error 10013: permission denied");
  EXPECT_EQ(platform::sockets::SocketErrorWords(11001), "host not found");
}
