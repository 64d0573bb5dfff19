#include "platform/archive/lh5_encoder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <queue>
#include <utility>

namespace platform::archive {
namespace {

// Stream parameters of -lh5-.
constexpr int kWindowBits = 13;
constexpr std::size_t kMaxDistance = (std::size_t{1} << kWindowBits) - 1;  // one short of the window, safe for any reader
constexpr std::size_t kMinMatch = 3;
constexpr std::size_t kMaxMatch = 256;
constexpr std::size_t kCharCodes = 256 + kMaxMatch - kMinMatch + 1;  // literals, then match lengths
constexpr std::size_t kPositionCodes = kWindowBits + 1;
constexpr std::size_t kLengthCodes = 16 + 3;  // code lengths 1..16 and three zero-run codes
constexpr int kCharCountBits = 9;
constexpr int kPositionCountBits = 4;
constexpr int kLengthCountBits = 5;
constexpr int kLengthTableSpecialIndex = 3;  // after this many t lengths a 2-bit zero count follows
constexpr int kMaxCodeLength = 16;
constexpr std::size_t kMaxBlockCodes = 16384;  // well below the 16-bit block count

// Match search. A chain of 32 candidates finds nearly all a chain of 128 does in the 8 KiB
// window: on workbooks and CSV files the output grows by under 0.5 %, the search takes half
// the instructions.
constexpr int kHashBits = 15;
constexpr std::size_t kHashSize = std::size_t{1} << kHashBits;
constexpr std::size_t kChainMask = (std::size_t{1} << kWindowBits) - 1;
constexpr int kMaxChain = 32;
constexpr std::size_t kGoodMatch = 8;   // beyond this, search a quarter of the chain
constexpr std::size_t kMaxLazy = 16;    // beyond this, take the match without looking one byte on
constexpr std::size_t kNiceMatch = 128; // stop searching at this length
constexpr std::size_t kFarForShortMatch = 4096;  // a 3-byte match this far costs more than literals

// Bits most significant first, gathered in a 64-bit word and stored 32 at a time.
class BitWriter {
 public:
  explicit BitWriter(std::vector<std::uint8_t>& out) : out_(out) {}

  // Up to 32 bits of `value`; higher bits of `value` are ignored.
  void put(int bits, std::uint32_t value) {
    buffer_ = (buffer_ << bits) | (value & ((std::uint64_t{1} << bits) - 1));
    count_ += bits;  // below 32 before, so below 64 now
    if (count_ < 32) return;
    count_ -= 32;
    const auto word = static_cast<std::uint32_t>(buffer_ >> count_);
    const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(word >> 24), static_cast<std::uint8_t>(word >> 16),
                                   static_cast<std::uint8_t>(word >> 8), static_cast<std::uint8_t>(word)};
    out_.insert(out_.end(), bytes, bytes + 4);
  }

  // The bits still held, the last byte padded with zeros.
  void flush() {
    for (; count_ >= 8; count_ -= 8) out_.push_back(static_cast<std::uint8_t>(buffer_ >> (count_ - 8)));
    if (count_ > 0) out_.push_back(static_cast<std::uint8_t>(buffer_ << (8 - count_)));
    buffer_ = 0;
    count_ = 0;
  }

 private:
  std::vector<std::uint8_t>& out_;
  std::uint64_t buffer_ = 0;  // the low count_ bits are pending
  int count_ = 0;
};

struct Token {
  std::uint16_t code;          // byte value, or 256 + length - kMinMatch
  std::uint16_t distanceLess1; // for matches
};

int PositionCode(std::uint32_t distanceLess1) { return distanceLess1 == 0 ? 0 : std::bit_width(distanceLess1); }

std::size_t CountUsed(const std::vector<std::uint32_t>& frequencies) {
  return static_cast<std::size_t>(std::count_if(frequencies.begin(), frequencies.end(), [](std::uint32_t f) { return f > 0; }));
}

std::size_t FirstUsed(const std::vector<std::uint32_t>& frequencies) {
  const auto it = std::find_if(frequencies.begin(), frequencies.end(), [](std::uint32_t f) { return f > 0; });
  return it == frequencies.end() ? 0 : static_cast<std::size_t>(it - frequencies.begin());
}

std::vector<std::uint16_t> CanonicalCodes(const std::vector<std::uint8_t>& lengths) {
  std::array<std::uint32_t, kMaxCodeLength + 2> perLength{};
  for (std::uint8_t length : lengths) ++perLength[length];
  perLength[0] = 0;
  std::array<std::uint32_t, kMaxCodeLength + 2> next{};
  for (int length = 1; length <= kMaxCodeLength; ++length) next[length + 1] = (next[length] + perLength[length]) << 1;
  std::vector<std::uint16_t> codes(lengths.size(), 0);
  for (std::size_t symbol = 0; symbol < lengths.size(); ++symbol)
    if (lengths[symbol] > 0) codes[symbol] = static_cast<std::uint16_t>(next[lengths[symbol]]++);
  return codes;
}

std::size_t TrimmedCount(const std::vector<std::uint8_t>& lengths) {
  std::size_t n = lengths.size();
  while (n > 0 && lengths[n - 1] == 0) --n;
  return n;
}

// Visits the t symbols that send the c code lengths: 0 one zero, 1 a run of 3..18 zeros
// (4 extra bits), 2 a run of 20 or more (9 extra bits), k+2 the length k.
template <typename Visit>
void ForEachCharLengthSymbol(const std::vector<std::uint8_t>& charLengths, Visit visit) {
  const std::size_t n = TrimmedCount(charLengths);
  std::size_t i = 0;
  while (i < n) {
    const std::uint8_t length = charLengths[i++];
    if (length != 0) {
      visit(length + 2, 0, 0u);
      continue;
    }
    std::uint32_t zeros = 1;
    while (i < n && charLengths[i] == 0) {
      ++i;
      ++zeros;
    }
    if (zeros <= 2) {
      for (std::uint32_t k = 0; k < zeros; ++k) visit(0, 0, 0u);
    } else if (zeros <= 18) {
      visit(1, 4, zeros - 3);
    } else if (zeros == 19) {
      visit(0, 0, 0u);
      visit(1, 4, 15u);
    } else {
      visit(2, kCharCountBits, zeros - 20);
    }
  }
}

// A t or p table: count, then each length in 3 bits (7 and up: 7 then unary ones and a zero).
void WriteSmallTable(BitWriter& bits, const std::vector<std::uint8_t>& lengths, int countBits, int specialIndex) {
  const std::size_t n = TrimmedCount(lengths);
  bits.put(countBits, static_cast<std::uint32_t>(n));
  std::size_t i = 0;
  while (i < n) {
    const int length = lengths[i++];
    if (length <= 6)
      bits.put(3, static_cast<std::uint32_t>(length));
    else
      bits.put(length - 3, (std::uint32_t{1} << (length - 3)) - 2);
    if (static_cast<int>(i) == specialIndex) {
      std::size_t skip = i;
      while (skip < 6 && skip < n && lengths[skip] == 0) ++skip;
      bits.put(2, static_cast<std::uint32_t>(skip - i));
      i = skip;
    }
  }
}

struct HuffmanTable {
  std::vector<std::uint8_t> lengths;
  std::vector<std::uint16_t> codes;

  void send(BitWriter& bits, std::size_t symbol) const { bits.put(lengths[symbol], codes[symbol]); }
};

HuffmanTable MakeTable(const std::vector<std::uint32_t>& frequencies) {
  HuffmanTable table;
  table.lengths = HuffmanCodeLengths(frequencies, kMaxCodeLength);
  table.codes = CanonicalCodes(table.lengths);
  return table;
}

// A table of at most one used symbol goes as count 0 and the symbol; it then costs no bits.
void WriteSingleSymbolTable(BitWriter& bits, int countBits, int symbolBits, std::size_t symbol) {
  bits.put(countBits, 0);
  bits.put(symbolBits, static_cast<std::uint32_t>(symbol));
}

void WriteBlock(BitWriter& bits, const std::vector<Token>& tokens) {
  std::vector<std::uint32_t> charFrequencies(kCharCodes, 0);
  std::vector<std::uint32_t> positionFrequencies(kPositionCodes, 0);
  for (const Token& token : tokens) {
    ++charFrequencies[token.code];
    if (token.code >= 256) ++positionFrequencies[PositionCode(token.distanceLess1)];
  }
  bits.put(16, static_cast<std::uint32_t>(tokens.size()));

  const HuffmanTable chars = MakeTable(charFrequencies);
  if (CountUsed(charFrequencies) <= 1) {
    WriteSingleSymbolTable(bits, kLengthCountBits, kLengthCountBits, 0);
    WriteSingleSymbolTable(bits, kCharCountBits, kCharCountBits, FirstUsed(charFrequencies));
  } else {
    std::vector<std::uint32_t> lengthFrequencies(kLengthCodes, 0);
    ForEachCharLengthSymbol(chars.lengths, [&](std::size_t symbol, int, std::uint32_t) { ++lengthFrequencies[symbol]; });
    const HuffmanTable lengthTable = MakeTable(lengthFrequencies);
    if (CountUsed(lengthFrequencies) <= 1)
      WriteSingleSymbolTable(bits, kLengthCountBits, kLengthCountBits, FirstUsed(lengthFrequencies));
    else
      WriteSmallTable(bits, lengthTable.lengths, kLengthCountBits, kLengthTableSpecialIndex);
    bits.put(kCharCountBits, static_cast<std::uint32_t>(TrimmedCount(chars.lengths)));
    ForEachCharLengthSymbol(chars.lengths, [&](std::size_t symbol, int extraBits, std::uint32_t extra) {
      lengthTable.send(bits, symbol);
      bits.put(extraBits, extra);
    });
  }

  const HuffmanTable positions = MakeTable(positionFrequencies);
  if (CountUsed(positionFrequencies) <= 1)
    WriteSingleSymbolTable(bits, kPositionCountBits, kPositionCountBits, FirstUsed(positionFrequencies));
  else
    WriteSmallTable(bits, positions.lengths, kPositionCountBits, -1);

  for (const Token& token : tokens) {
    chars.send(bits, token.code);
    if (token.code < 256) continue;
    // The position's code and its extra bits (the distance below its top bit) in one go.
    const auto code = static_cast<std::size_t>(PositionCode(token.distanceLess1));
    const int extraBits = code > 1 ? static_cast<int>(code) - 1 : 0;
    const std::uint32_t extra = token.distanceLess1 & ((std::uint32_t{1} << extraBits) - 1);
    bits.put(positions.lengths[code] + extraBits, static_cast<std::uint32_t>(positions.codes[code]) << extraBits | extra);
  }
}

struct Match {
  std::size_t length = 0;
  std::size_t distance = 0;
};

std::size_t CommonLength(const std::uint8_t* a, const std::uint8_t* b, std::size_t limit) {
  std::size_t n = 0;
  if constexpr (std::endian::native == std::endian::little) {
    while (n + 8 <= limit) {
      std::uint64_t x;
      std::uint64_t y;
      std::memcpy(&x, a + n, 8);
      std::memcpy(&y, b + n, 8);
      if (x != y) return n + static_cast<std::size_t>(std::countr_zero(x ^ y) / 8);
      n += 8;
    }
  }
  while (n < limit && a[n] == b[n]) ++n;
  return n;
}

// Hash chains over the last window of positions. Positions are kept 32-bit (a member is at
// most 4 GiB) so that the tables stay small in the cache; kNoPosition ends a chain.
class MatchFinder {
 public:
  MatchFinder(const std::uint8_t* data, std::size_t size)
      : data_(data), size_(size), head_(kHashSize, kNoPosition), previous_(kChainMask + 1, kNoPosition) {}

  void insert(std::size_t pos) {
    if (pos + kMinMatch > size_) return;
    const std::size_t h = hash(pos);
    previous_[pos & kChainMask] = head_[h];
    head_[h] = static_cast<std::uint32_t>(pos);
  }

  // The longest match at `pos` longer than `atLeast` bytes (or none); then `pos` joins its chain.
  Match longestThenInsert(std::size_t pos, std::size_t atLeast) {
    if (pos + kMinMatch > size_) return {};
    const std::size_t h = hash(pos);
    const Match best = longest(pos, atLeast, head_[h]);
    previous_[pos & kChainMask] = head_[h];
    head_[h] = static_cast<std::uint32_t>(pos);
    return best;
  }

 private:
  static constexpr std::uint32_t kNoPosition = 0xFFFFFFFFu;

  Match longest(std::size_t pos, std::size_t atLeast, std::uint32_t first) const {
    Match best;
    const std::size_t limit = std::min(kMaxMatch, size_ - pos);
    std::size_t bestLength = std::max(atLeast, kMinMatch - 1);
    if (bestLength >= limit) return best;
    int chain = atLeast >= kGoodMatch ? kMaxChain / 4 : kMaxChain;
    const std::uint8_t* here = data_ + pos;
    for (std::uint32_t candidate = first; candidate != kNoPosition && chain-- > 0;
         candidate = previous_[candidate & kChainMask]) {
      const std::size_t distance = pos - candidate;
      if (distance > kMaxDistance) break;
      const std::uint8_t* there = data_ + candidate;
      if (there[bestLength] != here[bestLength] || there[0] != here[0] || there[1] != here[1]) continue;
      const std::size_t length = CommonLength(there, here, limit);
      if (length <= bestLength) continue;
      if (length == kMinMatch && distance > kFarForShortMatch) continue;
      bestLength = length;
      best = {length, distance};
      if (length >= kNiceMatch || length >= limit) break;
    }
    return best;
  }

  std::size_t hash(std::size_t pos) const {
    const std::uint32_t bytes = std::uint32_t{data_[pos]} << 16 | std::uint32_t{data_[pos + 1]} << 8 | data_[pos + 2];
    return (bytes * 2654435761u) >> (32 - kHashBits);
  }

  const std::uint8_t* data_;
  std::size_t size_;
  std::vector<std::uint32_t> head_;
  std::vector<std::uint32_t> previous_;
};

class Lh5Writer {
 public:
  explicit Lh5Writer(std::size_t limit) : bits_(out_), limit_(limit) { tokens_.reserve(kMaxBlockCodes); }

  bool literal(std::uint8_t byte) { return add({byte, 0}); }

  bool match(const Match& m) {
    return add({static_cast<std::uint16_t>(256 + m.length - kMinMatch), static_cast<std::uint16_t>(m.distance - 1)});
  }

  std::optional<std::vector<std::uint8_t>> finish() {
    if (!tokens_.empty() && !flushBlock()) return std::nullopt;
    bits_.flush();
    if (out_.size() > limit_) return std::nullopt;
    return std::move(out_);
  }

 private:
  bool add(Token token) {
    tokens_.push_back(token);
    return tokens_.size() < kMaxBlockCodes || flushBlock();
  }

  bool flushBlock() {
    WriteBlock(bits_, tokens_);
    tokens_.clear();
    return out_.size() <= limit_;
  }

  std::vector<std::uint8_t> out_;
  BitWriter bits_;
  std::size_t limit_;
  std::vector<Token> tokens_;
};

}  // namespace

std::vector<std::uint8_t> HuffmanCodeLengths(const std::vector<std::uint32_t>& frequencies, int maxLength) {
  std::vector<std::uint8_t> lengths(frequencies.size(), 0);
  if (CountUsed(frequencies) < 2) return lengths;
  std::vector<std::uint64_t> weights(frequencies.begin(), frequencies.end());
  for (;;) {
    // Leaves are nodes 0..n-1, inner nodes follow in the order they are made.
    std::vector<std::size_t> parent(frequencies.size(), 0);
    using Entry = std::pair<std::uint64_t, std::size_t>;
    std::priority_queue<Entry, std::vector<Entry>, std::greater<>> queue;
    for (std::size_t symbol = 0; symbol < weights.size(); ++symbol)
      if (weights[symbol] > 0) queue.push({weights[symbol], symbol});
    while (queue.size() > 1) {
      const Entry a = queue.top();
      queue.pop();
      const Entry b = queue.top();
      queue.pop();
      const std::size_t node = parent.size();
      parent.push_back(0);
      parent[a.second] = node;
      parent[b.second] = node;
      queue.push({a.first + b.first, node});
    }
    const std::size_t root = parent.size() - 1;
    std::vector<int> depth(parent.size(), 0);
    for (std::size_t node = root; node-- > weights.size();) depth[node] = depth[parent[node]] + 1;
    int longest = 0;
    for (std::size_t symbol = 0; symbol < weights.size(); ++symbol) {
      if (weights[symbol] == 0) continue;
      lengths[symbol] = static_cast<std::uint8_t>(std::min(depth[parent[symbol]] + 1, 255));
      longest = std::max(longest, depth[parent[symbol]] + 1);
    }
    if (longest <= maxLength) return lengths;
    // Flatten the distribution and build again; all-equal weights always fit.
    for (std::uint64_t& w : weights)
      if (w > 0) w = (w >> 1) | 1;
  }
}

std::optional<std::vector<std::uint8_t>> EncodeLh5(const std::uint8_t* data, std::size_t size, std::size_t limit) {
  Lh5Writer writer(limit);
  MatchFinder finder(data, size);
  std::size_t pos = 0;
  Match pending;          // the match found at pos - 1, while deciding whether to take it
  bool hasPending = false;
  // Emits the pending match (pos itself already in the chains) and moves past it.
  const auto takePending = [&] {
    const std::size_t end = pos - 1 + pending.length;
    for (std::size_t p = pos + 1; p < end; ++p) finder.insert(p);
    hasPending = false;
    pos = end;
    return writer.match(pending);
  };
  while (pos < size) {
    if (hasPending && pending.length >= kMaxLazy) {
      finder.insert(pos);
      if (!takePending()) return std::nullopt;
      continue;
    }
    const Match current = finder.longestThenInsert(pos, hasPending ? pending.length : 0);
    if (hasPending) {
      if (pending.length >= kMinMatch && current.length <= pending.length) {
        if (!takePending()) return std::nullopt;
        continue;
      }
      if (!writer.literal(data[pos - 1])) return std::nullopt;
    }
    pending = current;
    hasPending = true;
    ++pos;
  }
  if (hasPending && !writer.literal(data[pos - 1])) return std::nullopt;
  return writer.finish();
}

}  // namespace platform::archive
