#pragma once
// The bare round trip a save run's exchanges are compared with: two plain UDP sockets on
// 127.0.0.1, a request of `requestBytes` out and a reply of `replyBytes` back, the answering
// side in its own thread.
#include <cstddef>

namespace bench {

// Mean round trip in microseconds over `rounds` exchanges; negative if a socket failed.
double BareUdpRoundTripMicros(int rounds, std::size_t requestBytes, std::size_t replyBytes);

}  // namespace bench
