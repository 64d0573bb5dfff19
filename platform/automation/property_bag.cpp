// The property bag and its text form. One line per property:
//   Name = I4:12        Name = Bool:True    Name = Text:"escaped \" \\ \n"
//   Name = Bytes:0:0A FF (lower bound, then hex)    Name = Empty / Null / I2:.. / R4:.. / R8:..
#include <algorithm>
#include <cctype>
#include <charconv>
#include <fstream>
#include <sstream>

#include "platform/automation/dispatch.h"

namespace platform::automation {

namespace {

bool sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string escapeText(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char buf[5];
          std::snprintf(buf, sizeof buf, "\\x%02X", static_cast<unsigned char>(c));
          out += buf;
        } else {
          out.push_back(c);
        }
    }
  }
  return out + "\"";
}

bool unescapeText(std::string_view s, std::string& out) {
  if (s.size() < 2 || s.front() != '"' || s.back() != '"') return false;
  s = s.substr(1, s.size() - 2);
  out.clear();
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\') {
      out.push_back(s[i]);
      continue;
    }
    if (++i >= s.size()) return false;
    switch (s[i]) {
      case '"': out.push_back('"'); break;
      case '\\': out.push_back('\\'); break;
      case 'n': out.push_back('\n'); break;
      case 'r': out.push_back('\r'); break;
      case 'x': {
        if (i + 2 >= s.size()) return false;  // two hex digits must follow
        unsigned value = 0;
        const auto [p, ec] = std::from_chars(s.data() + i + 1, s.data() + i + 3, value, 16);
        if (ec != std::errc() || p != s.data() + i + 3) return false;
        out.push_back(static_cast<char>(value));
        i += 2;
        break;
      }
      default: return false;
    }
  }
  return true;
}

std::string valueText(const Variant& v) {
  std::string text;
  switch (v.type()) {
    case VarType::Empty: return "Empty";
    case VarType::Null: return "Null";
    case VarType::Bool: {
      bool b = false;
      v.toBool(b);
      return b ? "Bool:True" : "Bool:False";
    }
    case VarType::I2: v.toText(text); return "I2:" + text;
    case VarType::I4: v.toText(text); return "I4:" + text;
    case VarType::R4: v.toText(text); return "R4:" + text;
    case VarType::R8: v.toText(text); return "R8:" + text;
    case VarType::Text: return "Text:" + escapeText(*v.text());
    case VarType::Array: {
      std::vector<std::uint8_t> bytes;
      v.toByteArray(bytes);
      std::string out = "Bytes:" + std::to_string(v.array()->lowerBound) + ":";
      char buf[4];
      for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(buf, sizeof buf, i ? " %02X" : "%02X", bytes[i]);
        out += buf;
      }
      return out;
    }
  }
  return "Empty";
}

template <typename T>
bool parseInteger(std::string_view s, T& out) {
  const auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
  return ec == std::errc() && p == s.data() + s.size();
}

bool parseValue(std::string_view text, Variant& out) {
  if (text == "Empty") { out = Variant(); return true; }
  if (text == "Null") { out = Variant::null(); return true; }
  const auto colon = text.find(':');
  if (colon == std::string_view::npos) return false;
  const std::string_view kind = text.substr(0, colon), rest = text.substr(colon + 1);
  if (kind == "Bool") {
    if (rest != "True" && rest != "False") return false;
    out = Variant(rest == "True");
    return true;
  }
  if (kind == "I2") {
    std::int16_t v = 0;
    if (!parseInteger(rest, v)) return false;
    out = Variant(v);
    return true;
  }
  if (kind == "I4") {
    std::int32_t v = 0;
    if (!parseInteger(rest, v)) return false;
    out = Variant(v);
    return true;
  }
  if (kind == "R4" || kind == "R8") {
    double d = 0;
    if (Failed(Variant(std::string(rest)).toDouble(d))) return false;
    out = kind == "R4" ? Variant(static_cast<float>(d)) : Variant(d);
    return true;
  }
  if (kind == "Text") {
    std::string s;
    if (!unescapeText(rest, s)) return false;
    out = Variant(std::move(s));
    return true;
  }
  if (kind == "Bytes") {
    const auto second = rest.find(':');
    if (second == std::string_view::npos) return false;
    std::int32_t lower = 0;
    if (!parseInteger(rest.substr(0, second), lower)) return false;
    std::vector<std::uint8_t> bytes;
    std::istringstream in{std::string(rest.substr(second + 1))};
    std::string hex;
    while (in >> hex) {
      unsigned value = 0;
      const auto [p, ec] = std::from_chars(hex.data(), hex.data() + hex.size(), value, 16);
      if (hex.size() != 2 || ec != std::errc() || p != hex.data() + hex.size()) return false;
      bytes.push_back(static_cast<std::uint8_t>(value));
    }
    out = Variant::bytes(std::move(bytes), lower);
    return true;
  }
  return false;
}

}  // namespace

HRESULT PropertyBag::read(std::string_view name, Variant& value) const {
  for (const auto& [key, stored] : entries_) {
    if (sameName(key, name)) {
      value = stored;
      return S_OK;
    }
  }
  return E_INVALIDARG;
}

void PropertyBag::write(std::string_view name, const Variant& value) {
  for (auto& [key, stored] : entries_) {
    if (sameName(key, name)) {
      stored = value;
      return;
    }
  }
  entries_.emplace_back(std::string(name), value);
}

bool PropertyBag::contains(std::string_view name) const {
  return std::any_of(entries_.begin(), entries_.end(), [&](const auto& e) { return sameName(e.first, name); });
}

std::string PropertyBag::toText() const {
  std::string out;
  for (const auto& [key, value] : entries_) out += key + " = " + valueText(value) + "\n";
  return out;
}

HRESULT PropertyBag::fromText(std::string_view text, PropertyBag& out) {
  PropertyBag bag;
  std::size_t pos = 0;
  while (pos < text.size()) {
    auto end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.find_first_not_of(" \t") == std::string_view::npos) continue;
    const auto eq = line.find(" = ");
    if (eq == std::string_view::npos || eq == 0) return E_INVALIDARG;
    Variant value;
    if (!parseValue(line.substr(eq + 3), value)) return E_INVALIDARG;
    bag.write(line.substr(0, eq), value);
  }
  out = std::move(bag);
  return S_OK;
}

HRESULT PropertyBag::loadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return E_FAIL;
  std::ostringstream text;
  text << in.rdbuf();
  return fromText(text.str(), *this);
}

HRESULT PropertyBag::saveFile(const std::string& path) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return E_FAIL;
  out << toText();
  out.close();
  return out ? S_OK : E_FAIL;
}

}  // namespace platform::automation
