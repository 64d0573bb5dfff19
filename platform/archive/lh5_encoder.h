#pragma once
// The -lh5- method: LZSS over an 8 KiB window; each block carries its own Huffman tables for
// literals/lengths ("c"), match positions ("p") and the code lengths of the c table ("t").
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

namespace platform::archive {

// The compressed stream of `size` bytes at `data`; nothing when it would grow beyond `limit`
// bytes (the caller then stores the file as it is).
std::optional<std::vector<std::uint8_t>> EncodeLh5(const std::uint8_t* data, std::size_t size,
                                                   std::size_t limit = std::numeric_limits<std::size_t>::max());

// Code lengths of a Huffman code over `frequencies` (0 for unused symbols), none longer than
// `maxLength`. A single used symbol gets length 0: the format sends it without bits.
std::vector<std::uint8_t> HuffmanCodeLengths(const std::vector<std::uint32_t>& frequencies, int maxLength);

}  // namespace platform::archive
