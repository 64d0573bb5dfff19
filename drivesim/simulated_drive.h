#pragma once
// The simulated drive on a UDP socket: requests ("SN" datagrams) in, replies ("RS", the
// request's routing fields mirrored) back to the sender. It runs on a thread of its own with
// a poll loop, so a test's event loop is free for the program's side, and stops cleanly. A
// reply delay is timed in nanoseconds, not rounded up to whole milliseconds, kept closely (the
// last stretch is spun, not slept), and the time each delayed reply really took is added up, so
// that a drive with a given latency can be timed.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "drivesim/command_model.h"
#include "velkor/framing/framing.h"

namespace drivesim {

inline constexpr std::uint16_t kDefaultPort = 22359;

// A sleeping thread wakes some tens of microseconds after its time on a busy machine: a
// delayed reply sleeps until this long before it is due and spins the rest, so that the
// drive's latency is the one asked for and a benchmark times the tool, not the scheduler.
inline constexpr std::chrono::microseconds kSpinBeforeDue{200};
// Returns at `due`, closely: sleeps until kSpinBeforeDue before it, then spins.
void WaitUntil(std::chrono::steady_clock::time_point due);
inline constexpr const char* kDefaultAddress = "127.0.0.1";

// Where drive `number` (from 1) of a simulated plant listens: 127.0.0.11, 127.0.0.12, ...
std::string PlantDriveAddress(int number);

// True for dotted IPv4 text inside 127.0.0.0/8, the only addresses the simulated drive serves
// in the machine's own network namespace.
bool IsLoopbackAddress(const std::string& address);
// True when the calling thread's network namespace is not the machine's own: one a test made
// for a plant of drives, where every address belongs to the test and nothing leaves it.
bool InForeignNetworkNamespace();

struct DriveEndpoint {
  std::string address = kDefaultAddress;
  std::uint16_t port = 0;  // 0: any free port
  velkor::framing::ByteOrders orders;  // the byte orders the tool uses
};

class SimulatedDrive {
 public:
  SimulatedDrive(DriveProfile profile, Misbehaviour misbehaviour = {});
  ~SimulatedDrive();
  SimulatedDrive(const SimulatedDrive&) = delete;
  SimulatedDrive& operator=(const SimulatedDrive&) = delete;

  // Binds and starts answering; false with `error` set (address refused, port taken). In the
  // machine's own network namespace only loopback addresses are taken and only loopback
  // senders answered; in a foreign one any address (0.0.0.0 also hears broadcasts).
  bool start(const DriveEndpoint& endpoint, std::string& error);
  // Stops the thread and closes the socket; pending delayed replies are dropped.
  void stop();

  std::uint16_t port() const { return port_; }
  // Before start(): how long before a delayed reply is due the drive stops sleeping and spins
  // (kSpinBeforeDue). Zero sleeps the whole delay: many drives on few cores must not spin.
  void setSpinBeforeDue(std::chrono::microseconds spin) { spinBeforeDue_ = spin; }
  // The drive as it is now; a new fault replaces it, so a drive that records faults while it
  // runs is asked this only while it is stopped or between the faults it is told to record.
  const DriveProfile& profile() const { return model_.profile(); }
  // A new fault recorded while the drive runs (see DriveOptions::newFaults): from the next
  // request on, its bank answers with the new time stamp and fault list. Returns that bank.
  int recordNewFault();

  // The first kRequestLogLimit request payloads received, in order (re-sends included), so
  // that a drive left running for long does not grow without bound; the count goes on.
  static constexpr std::size_t kRequestLogLimit = 1 << 16;
  std::vector<std::vector<std::uint8_t>> requests() const;
  std::size_t requestCount() const;
  // Time from receiving a request to the start of sending its delayed reply, added over all
  // delayed replies: what the drive took, so that a benchmark can tell it from the tool's share
  // (the send itself belongs to the round trip, as in a bare one).
  std::chrono::nanoseconds delayedReplyTime() const { return std::chrono::nanoseconds(delayedReplyNanos_.load()); }

 private:
  // Where a reply goes: address and port in network order.
  struct Sender {
    std::uint32_t address = 0;
    std::uint16_t port = 0;
  };
  struct PendingReply {
    std::chrono::steady_clock::time_point received;
    std::chrono::steady_clock::time_point due;
    std::vector<std::uint8_t> datagram;
    Sender to;
  };
  void run();
  void handleDatagram(std::span<const std::uint8_t> bytes, Sender from);
  // The endpoint a reply to this request goes to; none while it waits for its re-sends.
  std::optional<Sender> replyDestination(std::span<const std::uint8_t> payload, Sender from);
  void sendTo(const std::vector<std::uint8_t>& datagram, Sender to);
  void sendDue();
  // When the first of the pending replies is due; there is one.
  std::chrono::steady_clock::time_point nextDue() const;

  CommandModel model_;
  std::mutex modelMutex_;  // a new fault is recorded from another thread than the one answering
  velkor::framing::ByteOrders orders_;
  int socket_ = -1;
  int wakeFd_ = -1;
  bool answersAnySender_ = false;  // in a foreign network namespace
  std::uint16_t port_ = 0;
  std::chrono::microseconds spinBeforeDue_ = kSpinBeforeDue;
  std::thread thread_;
  std::vector<PendingReply> pending_;  // thread-only
  std::vector<std::uint8_t> replyDatagram_;  // thread-only, reused for every reply
  // The request waiting for its re-sends (answerAfterResends), thread-only.
  std::vector<std::uint8_t> heldRequest_;
  Sender heldFrom_;
  int heldCopies_ = 0;
  mutable std::mutex requestsMutex_;
  // The logged payloads one after another, and where each ends: no allocation per request.
  std::vector<std::uint8_t> requestBytes_;
  std::vector<std::size_t> requestEnds_;
  std::size_t requestCount_ = 0;
  std::atomic<std::int64_t> delayedReplyNanos_{0};
};

}  // namespace drivesim
