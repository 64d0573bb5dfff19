#include "quillon/view/listing_text.h"

#include <algorithm>
#include <cstdio>

namespace quillon::view {

namespace {

// The length of a well-formed UTF-8 sequence starting at `at`, or 0.
std::size_t utf8Length(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
  if (length == 0 || at + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k)
    if ((static_cast<unsigned char>(text[at + k]) & 0xC0) != 0x80) return 0;
  return length;
}

std::size_t characters(std::string_view text) {
  std::size_t count = 0;
  for (std::size_t at = 0; at < text.size(); ++count) at += std::max<std::size_t>(1, utf8Length(text, at));
  return count;
}

}  // namespace

std::string AlignedColumns(const std::vector<std::vector<std::string>>& rows, const std::string& indent) {
  std::vector<std::size_t> widths;
  for (const auto& row : rows)
    for (std::size_t c = 0; c < row.size(); ++c) {
      if (widths.size() <= c) widths.resize(c + 1, 0);
      widths[c] = std::max(widths[c], characters(row[c]));
    }
  std::string text;
  for (const auto& row : rows) {
    std::string line = indent;
    for (std::size_t c = 0; c < row.size(); ++c) {
      line += row[c];
      if (c + 1 < row.size()) line += std::string(widths[c] - characters(row[c]) + 2, ' ');
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    text += line + "\n";
  }
  return text;
}

std::string JsonString(std::string_view text) {
  std::string json = "\"";
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = utf8Length(text, at);
    if (length == 0) {
      json += "\\ufffd";
      ++at;
      continue;
    }
    const char c = text[at];
    if (length > 1) json.append(text.substr(at, length));
    else if (c == '"') json += "\\\"";
    else if (c == '\\') json += "\\\\";
    else if (c == '\n') json += "\\n";
    else if (c == '\r') json += "\\r";
    else if (c == '\t') json += "\\t";
    else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      json += escaped;
    } else {
      json += c;
    }
    at += length;
  }
  return json + "\"";
}

std::string JsonOrNull(const std::optional<std::string>& text) { return text ? JsonString(*text) : "null"; }

std::string Joined(const std::vector<std::string>& items, std::string_view separator) {
  std::string text;
  for (std::size_t i = 0; i < items.size(); ++i) (text += i == 0 ? "" : separator) += items[i];
  return text;
}

std::string Joined(const std::vector<int>& numbers, std::string_view separator) {
  std::vector<std::string> items;
  for (const int number : numbers) items.push_back(std::to_string(number));
  return Joined(items, separator);
}

}  // namespace quillon::view
