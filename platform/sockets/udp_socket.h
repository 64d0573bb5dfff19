#pragma once
// A UDP socket over POSIX with read notification on the Qt event loop of the thread that
// opened it, as an asynchronous socket of Windows Sockets gives it. Every call returns 0
// or a Windows Sockets error code; nothing throws.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

class QSocketNotifier;

namespace platform::sockets {

struct Endpoint {
  std::string address;  // dotted decimal
  std::uint16_t port = 0;
};

class UdpSocket {
 public:
  UdpSocket();
  virtual ~UdpSocket();
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;

  // Creates the socket bound to `port` (0 = any free port) on all local addresses and asks
  // for read notifications, delivered to onReceive() from the event loop.
  virtual int create(std::uint16_t port);
  bool isOpen() const { return fd_ >= 0; }
  void close();

  virtual int setBroadcast(bool on);
  // `host` is a dotted address or a host name; a name that does not resolve gives 10022.
  virtual int sendTo(std::span<const std::uint8_t> data, const std::string& host, std::uint16_t port);
  // Bytes waiting in the next datagram.
  virtual int pendingBytes(std::size_t& count);
  // Reads without removing. A datagram longer than the buffer gives 10040 with the buffer
  // filled, as the Windows socket layer reports it.
  virtual int peekFrom(std::span<std::uint8_t> buffer, std::size_t& received, Endpoint& from);
  // Removes the next datagram, keeping what fits in the buffer (the rest is discarded).
  virtual int receive(std::span<std::uint8_t> buffer, std::size_t& received);
  std::uint16_t localPort() const;

 protected:
  // Called on the event loop thread when a datagram is waiting; `error` is the pending
  // socket error, 0 normally.
  virtual void onReceive(int error) { (void)error; }

 private:
  class ReadNotifier;
  void notifyReadable();
  // Takes the next datagram off the queue into held_ (nothing when none waits): the looks at
  // a datagram and its removal then cost one system call together instead of one each.
  int holdNextDatagram();

  struct HeldDatagram {
    bool present = false;
    std::vector<std::uint8_t> bytes;  // room for the largest UDP datagram
    std::size_t length = 0;           // as sent, even when cut to bytes' size
    Endpoint from;
    std::uint32_t fromAddress = 0;    // from.address in network order
  };
  int fd_ = -1;
  std::unique_ptr<QSocketNotifier> notifier_;
  HeldDatagram held_;
  // The broadcast option as last set on this socket; the option is only set when it changes.
  int broadcast_ = -1;
  // The last dotted destination and its address, parsed once.
  std::string lastDotted_;
  std::uint32_t lastDottedAddress_ = 0;
};

// The local host's first IPv4 address ("%u.%u.%u.%u"), or an empty text.
std::string firstLocalIpv4();
// A dotted address, or a host name resolved to its first IPv4 address.
int resolveIpv4(const std::string& host, std::uint32_t& networkOrderAddress);
// The same as dotted decimal text, as a received datagram's sender address is written.
int resolveDotted(const std::string& host, std::string& dotted);

}  // namespace platform::sockets

namespace platform::sockets {
// Checks once per process that the socket layer can make UDP sockets; 0 or the error code.
int Startup();
}  // namespace platform::sockets
