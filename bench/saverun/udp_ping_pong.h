#pragma once
// The bare round trip a save run's exchanges are compared with: two plain UDP sockets on
// 127.0.0.1, a request of `requestBytes` out and a reply of `replyBytes` back, the answering
// side in its own thread.
#include <chrono>
#include <cstddef>

namespace bench {

// How the requesting side waits for each reply: in the read itself (the bare minimum), or in
// poll() first and then the read, as any program that waits in an event loop must.
enum class ClientWait { InRead, PollThenRead };

// Mean round trip in microseconds over `rounds` exchanges; negative if a socket failed.
// With `answerAfter`, the answering side holds each reply that long, as a drive with that
// latency does (and as the simulated drive keeps it), and the time it held them is left out:
// the round trip as it is when both sides have waited that long in between.
double BareUdpRoundTripMicros(int rounds, std::size_t requestBytes, std::size_t replyBytes,
                              ClientWait wait = ClientWait::InRead,
                              std::chrono::nanoseconds answerAfter = std::chrono::nanoseconds::zero());

}  // namespace bench
