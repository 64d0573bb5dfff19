#pragma once
// UTF-16 text files (product definitions, the drive configuration file) to and from the UTF-8
// text the program works in.
#include <optional>
#include <string>
#include <string_view>

namespace quillon {

// Decodes UTF-16 bytes: a byte-order mark chooses the byte order, little-endian without one.
// An unpaired surrogate becomes U+FFFD; an odd last byte is dropped.
std::string Utf16BytesToUtf8(std::string_view bytes);

// UTF-16 little-endian with a byte-order mark. Invalid UTF-8 bytes become U+FFFD.
std::string Utf8ToUtf16LeWithMark(std::string_view text);

}  // namespace quillon
