#include "platform/archive/lzh_names.h"

#include <iconv.h>

#include <algorithm>
#include <optional>

namespace platform::archive {
namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

// The whole text converted, or nothing when any part of it cannot be.
std::optional<std::string> Converted(const std::string& text, const char* to, const char* from) {
  iconv_t converter = iconv_open(to, from);
  if (converter == kNoConverter) return std::nullopt;
  std::string out(text.size() * 4 + 8, '\0');
  char* in = const_cast<char*>(text.data());
  std::size_t inLeft = text.size();
  char* next = out.data();
  std::size_t outLeft = out.size();
  const bool whole = iconv(converter, &in, &inLeft, &next, &outLeft) != static_cast<std::size_t>(-1) && inLeft == 0 &&
                     iconv(converter, nullptr, nullptr, &next, &outLeft) != static_cast<std::size_t>(-1);
  iconv_close(converter);
  if (!whole) return std::nullopt;
  out.resize(out.size() - outLeft);
  return out;
}

bool IsAscii(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

std::string StoredName(const std::string& name, const std::string& codePage) {
  if (IsAscii(name)) return name;
  if (auto stored = Converted(name, codePage.c_str(), "UTF-8")) return *stored;
  return name;
}

std::string NameFromStored(const std::string& stored, const std::string& codePage) {
  // Names of more than one non-ASCII character in a code page are almost never valid UTF-8,
  // while a UTF-8 name read in a code page always gives some text: UTF-8 is tried first.
  if (IsAscii(stored) || Converted(stored, "UTF-8", "UTF-8")) return stored;
  if (auto name = Converted(stored, "UTF-8", codePage.c_str())) return *name;
  return {};
}

bool KnownCodePage(const std::string& codePage) {
  iconv_t converter = iconv_open("UTF-8", codePage.c_str());
  if (converter == kNoConverter) return false;
  iconv_close(converter);
  return true;
}

}  // namespace platform::archive
