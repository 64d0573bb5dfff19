#include "platform/db/value.h"

#include <charconv>
#include <cmath>

namespace platform::db {

namespace {
char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
  return true;
}

std::string formatDouble(double number) {
  if (std::isnan(number)) return "NaN";
  if (std::isinf(number)) return number > 0 ? "Infinity" : "-Infinity";
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
  return std::string(buffer, result.ptr);
}

std::string formatSingle(float number) {
  if (std::isnan(number)) return "NaN";
  if (std::isinf(number)) return number > 0 ? "Infinity" : "-Infinity";
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
  return std::string(buffer, result.ptr);
}

std::optional<double> parseNumber(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  double number = 0;
  auto result = std::from_chars(text.data(), text.data() + text.size(), number);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return std::nullopt;
  return number;
}

std::string Value::text() const {
  switch (kind()) {
    case Kind::Null: return {};
    case Kind::Integer: return std::to_string(std::get<std::int64_t>(data_));
    case Kind::Real: return formatDouble(std::get<double>(data_));
    case Kind::Single: return formatSingle(std::get<float>(data_));
    case Kind::Text: return std::get<std::string>(data_);
  }
  return {};
}

std::optional<double> Value::number() const {
  switch (kind()) {
    case Kind::Null: return std::nullopt;
    case Kind::Integer: return static_cast<double>(std::get<std::int64_t>(data_));
    case Kind::Real: return std::get<double>(data_);
    case Kind::Single: return static_cast<double>(std::get<float>(data_));
    case Kind::Text: return parseNumber(std::get<std::string>(data_));
  }
  return std::nullopt;
}

}  // namespace platform::db
