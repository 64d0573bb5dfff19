// The -lh5- encoder's streams decoded by lhasa's own decoder, on inputs that reach the corners
// of the format: the farthest distance and one beyond it, the longest match, block ends,
// blocks of a single symbol, every byte value, data a match runs to the end of.
#include <lha_decoder.h>
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/archive/lh5_encoder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Source {
  const Bytes* bytes;
  std::size_t at = 0;
};

std::size_t ReadCompressed(void* buf, std::size_t length, void* data) {
  auto* source = static_cast<Source*>(data);
  const std::size_t n = std::min(length, source->bytes->size() - source->at);
  std::memcpy(buf, source->bytes->data() + source->at, n);
  source->at += n;
  return n;
}

// What lhasa makes of the stream; as long as the original at most.
Bytes DecodedByLhasa(const Bytes& stream, std::size_t originalSize) {
  char method[] = "-lh5-";
  Source source{&stream};
  LHADecoder* decoder = lha_decoder_new(lha_decoder_for_name(method), ReadCompressed, &source, originalSize);
  Bytes out(originalSize + 1);
  std::size_t got = 0;
  for (std::size_t n; got < out.size() && (n = lha_decoder_read(decoder, out.data() + got, out.size() - got)) > 0;)
    got += n;
  lha_decoder_free(decoder);
  out.resize(got);
  return out;
}

void ExpectRoundTrip(const std::string& what, const Bytes& input) {
  const auto packed = platform::archive::EncodeLh5(input.data(), input.size());
  ASSERT_TRUE(packed) << what;
  EXPECT_EQ(DecodedByLhasa(*packed, input.size()), input) << what;
}

Bytes Noise(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  Bytes bytes(size);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
  return bytes;
}

// `pattern` repeated to `size` bytes.
Bytes Repeated(const Bytes& pattern, std::size_t size) {
  Bytes bytes;
  while (bytes.size() < size) bytes.insert(bytes.end(), pattern.begin(), pattern.end());
  bytes.resize(size);
  return bytes;
}

TEST(Lh5Encoder, StreamsDecodeByLhasaAtTheCornersOfTheFormat) {
  ExpectRoundTrip("one byte", Bytes{42});
  ExpectRoundTrip("two bytes", Bytes{1, 2});
  ExpectRoundTrip("three equal bytes", Bytes(3, 7));
  Bytes everyByte;
  for (int i = 0; i < 256; ++i) everyByte.push_back(static_cast<std::uint8_t>(i));
  ExpectRoundTrip("every byte value", everyByte);
  ExpectRoundTrip("every byte value, repeated", Repeated(everyByte, 5000));
  // A single symbol for whole blocks: the tables that send no bits.
  ExpectRoundTrip("one value, long", Bytes(300000, 0));
  ExpectRoundTrip("one value then noise", [] {
    Bytes b(70000, 0xFF);
    const Bytes n = Noise(50000, 3);
    b.insert(b.end(), n.begin(), n.end());
    return b;
  }());
  // Patterns of the window's size and one beyond it: the farthest match and none at all.
  ExpectRoundTrip("period 8191", Repeated(Noise(8191, 4), 40000));
  ExpectRoundTrip("period 8192", Repeated(Noise(8192, 5), 40000));
  ExpectRoundTrip("period 8193", Repeated(Noise(8193, 6), 40000));
  // Matches of every length up to the longest and past it, and one that runs to the end.
  Bytes lengths;
  const Bytes noise = Noise(300, 8);
  for (std::size_t n = 1; n <= 260; ++n) {
    lengths.insert(lengths.end(), noise.begin(), noise.begin() + static_cast<std::ptrdiff_t>(n));
    lengths.push_back(static_cast<std::uint8_t>(n));
  }
  ExpectRoundTrip("matches of every length", lengths);
  ExpectRoundTrip("a match to the end", Repeated(Noise(1000, 9), 1000 + 255));
  ExpectRoundTrip("a match to the end, longer", Repeated(Noise(1000, 9), 1000 + 2000));
  // Short matches far away, and text with many blocks of tokens.
  std::string text;
  for (int row = 0; text.size() < 600000; ++row) text += std::to_string(row * 7919 % 100003) + ",12.5,-3\r\n";
  ExpectRoundTrip("CSV text over many blocks", Bytes(text.begin(), text.end()));
  Bytes sparse = Noise(100000, 10);
  for (std::size_t i = 0; i < sparse.size(); i += 3) sparse[i] = 0;
  ExpectRoundTrip("noise with every third byte zero", sparse);
  ExpectRoundTrip("noise", Noise(20000, 11));
}

TEST(Lh5Encoder, GivesUpBeyondTheLimitAndShrinksWhatRepeats) {
  const Bytes noise = Noise(10000, 12);
  EXPECT_FALSE(platform::archive::EncodeLh5(noise.data(), noise.size(), noise.size() - 1));
  const Bytes zeros(10000, 0);
  const auto packed = platform::archive::EncodeLh5(zeros.data(), zeros.size(), zeros.size() - 1);
  ASSERT_TRUE(packed);
  EXPECT_LT(packed->size(), 100u);
}

}  // namespace
