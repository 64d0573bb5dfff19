// libFuzzer entry: any byte string through the receive-side parser, both byte orders.
#include <cstddef>
#include <cstdint>
#include <span>

#include "velkor/framing/framing.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velkor::framing;
  const std::span<const std::uint8_t> bytes(data, size);
  for (int orders = 0; orders < 4; ++orders) {
    const auto d = decodeDatagram(bytes, ByteOrders{(orders & 1) != 0, (orders & 2) != 0});
    if (d.payloadLength > kMaxPayload || d.payload.size() != d.payloadLength) __builtin_trap();
    if (d.payloadLength > 0 && d.payload.data() + d.payload.size() > data + size) __builtin_trap();
    volatile std::uint8_t sink = 0;
    for (std::uint8_t b : d.payload) sink = sink ^ b;
    (void)sink;
  }
  (void)markerAccepted(bytes, size % 2 == 0);
  (void)hexText(bytes.first(size < 64 ? size : 64));
  return 0;
}
