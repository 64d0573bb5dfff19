#include "platform/automation/variant.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace platform::automation {

namespace {

std::string trimmed(const std::string& s) {
  const auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  const auto last = s.find_last_not_of(" \t\r\n");
  return s.substr(first, last - first + 1);
}

// Numeric text as the automation layer reads it: decimal, optional sign and fraction.
bool parseNumber(const std::string& text, double& out) {
  const std::string t = trimmed(text);
  if (t.empty()) return false;
  const char* begin = t.data();
  if (*begin == '+') ++begin;
  const auto [ptr, ec] = std::from_chars(begin, t.data() + t.size(), out);
  return ec == std::errc() && ptr == t.data() + t.size() && std::isfinite(out);
}

// Rounds half to even, as automation coercions do.
HRESULT roundToInt32(double d, std::int32_t& out) {
  const double r = std::nearbyint(d);
  if (!(r >= static_cast<double>(std::numeric_limits<std::int32_t>::min()) &&
        r <= static_cast<double>(std::numeric_limits<std::int32_t>::max())))
    return DISP_E_OVERFLOW;
  out = static_cast<std::int32_t>(r);
  return S_OK;
}

std::string doubleText(double d) {
  char buf[64];
  const auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, d);
  return ec == std::errc() ? std::string(buf, ptr) : std::string();
}

}  // namespace

std::int32_t SafeArray::upperBound() const { return lowerBound + static_cast<std::int32_t>(size()) - 1; }

std::size_t SafeArray::size() const { return elementsAreBytes ? bytes.size() : elements.size(); }

Variant Variant::null() {
  Variant v;
  v.value_ = NullTag{};
  return v;
}

Variant::Variant(bool v) : value_(v) {}
Variant::Variant(std::int16_t v) : value_(v) {}
Variant::Variant(std::int32_t v) : value_(v) {}
Variant::Variant(float v) : value_(v) {}
Variant::Variant(double v) : value_(v) {}
Variant::Variant(std::string v) : value_(std::move(v)) {}
Variant::Variant(const char* v) : value_(std::string(v ? v : "")) {}
Variant::Variant(SafeArray v) : value_(std::make_shared<SafeArray>(std::move(v))) {}

Variant Variant::bytes(std::vector<std::uint8_t> data, std::int32_t lowerBound) {
  SafeArray a;
  a.lowerBound = lowerBound;
  a.bytes = std::move(data);
  return Variant(std::move(a));
}

void Variant::assignBytes(std::span<const std::uint8_t> data, std::int32_t lowerBound) {
  auto* held = std::get_if<std::shared_ptr<SafeArray>>(&value_);
  if (!held || !*held || held->use_count() != 1) {
    *this = bytes(std::vector<std::uint8_t>(data.begin(), data.end()), lowerBound);
    return;
  }
  SafeArray& a = **held;
  a.lowerBound = lowerBound;
  a.bytes.assign(data.begin(), data.end());
  a.elements.clear();
  a.elementsAreBytes = true;
  a.locked = false;
}

std::span<const std::uint8_t> Variant::byteElements() const {
  const SafeArray* a = array();
  if (!a || !a->elementsAreBytes || a->locked) return {};
  return a->bytes;
}

VarType Variant::type() const {
  switch (value_.index()) {
    case 0: return VarType::Empty;
    case 1: return VarType::Null;
    case 2: return VarType::Bool;
    case 3: return VarType::I2;
    case 4: return VarType::I4;
    case 5: return VarType::R4;
    case 6: return VarType::R8;
    case 7: return VarType::Text;
    default: return VarType::Array;
  }
}

HRESULT Variant::toDouble(double& out) const {
  switch (type()) {
    case VarType::Empty: out = 0; return S_OK;
    case VarType::Bool: out = std::get<bool>(value_) ? -1 : 0; return S_OK;
    case VarType::I2: out = std::get<std::int16_t>(value_); return S_OK;
    case VarType::I4: out = std::get<std::int32_t>(value_); return S_OK;
    case VarType::R4: out = std::get<float>(value_); return S_OK;
    case VarType::R8: out = std::get<double>(value_); return S_OK;
    case VarType::Text: {
      double d = 0;
      if (!parseNumber(std::get<std::string>(value_), d)) return DISP_E_TYPEMISMATCH;
      out = d;
      return S_OK;
    }
    default: return DISP_E_TYPEMISMATCH;
  }
}

HRESULT Variant::toInt32(std::int32_t& out) const {
  switch (type()) {
    case VarType::Empty: out = 0; return S_OK;
    case VarType::Bool: out = std::get<bool>(value_) ? -1 : 0; return S_OK;
    case VarType::I2: out = std::get<std::int16_t>(value_); return S_OK;
    case VarType::I4: out = std::get<std::int32_t>(value_); return S_OK;
    default: {
      double d = 0;
      const HRESULT hr = toDouble(d);
      if (Failed(hr)) return hr;
      return roundToInt32(d, out);
    }
  }
}

HRESULT Variant::toBool(bool& out) const {
  if (type() == VarType::Bool) {
    out = std::get<bool>(value_);
    return S_OK;
  }
  if (type() == VarType::Text) {
    const std::string t = trimmed(std::get<std::string>(value_));
    std::string lower;
    for (char c : t) lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    if (lower == "true") { out = true; return S_OK; }
    if (lower == "false") { out = false; return S_OK; }
  }
  double d = 0;
  const HRESULT hr = toDouble(d);
  if (Failed(hr)) return hr;
  out = d != 0;
  return S_OK;
}

HRESULT Variant::toText(std::string& out) const {
  switch (type()) {
    case VarType::Empty: out.clear(); return S_OK;
    case VarType::Bool: out = std::get<bool>(value_) ? "True" : "False"; return S_OK;
    case VarType::I2: out = std::to_string(std::get<std::int16_t>(value_)); return S_OK;
    case VarType::I4: out = std::to_string(std::get<std::int32_t>(value_)); return S_OK;
    case VarType::R4: out = doubleText(std::get<float>(value_)); return S_OK;
    case VarType::R8: out = doubleText(std::get<double>(value_)); return S_OK;
    case VarType::Text: out = std::get<std::string>(value_); return S_OK;
    default: return DISP_E_TYPEMISMATCH;
  }
}

HRESULT Variant::toByteArray(std::vector<std::uint8_t>& out) const {
  const SafeArray* a = array();
  if (!a) return DISP_E_TYPEMISMATCH;
  if (a->locked) return E_FAIL;
  if (a->elementsAreBytes) {
    out = a->bytes;
    return S_OK;
  }
  std::vector<std::uint8_t> converted;
  converted.reserve(a->elements.size());
  for (const Variant& element : a->elements) {
    std::int32_t value = 0;
    const HRESULT hr = element.toInt32(value);
    if (Failed(hr)) return hr;
    if (value < 0 || value > 255) return DISP_E_OVERFLOW;
    converted.push_back(static_cast<std::uint8_t>(value));
  }
  out = std::move(converted);
  return S_OK;
}

const SafeArray* Variant::array() const {
  const auto* p = std::get_if<std::shared_ptr<SafeArray>>(&value_);
  return p ? p->get() : nullptr;
}

// Copies share an array until one of them is changed: each copy owns its own data.
SafeArray* Variant::array() {
  auto* p = std::get_if<std::shared_ptr<SafeArray>>(&value_);
  if (!p || !*p) return nullptr;
  if (p->use_count() > 1) *p = std::make_shared<SafeArray>(**p);
  return p->get();
}

const std::string* Variant::text() const { return std::get_if<std::string>(&value_); }

static bool sameArray(const SafeArray& a, const SafeArray& b) {
  return a.lowerBound == b.lowerBound && a.elementsAreBytes == b.elementsAreBytes && a.locked == b.locked &&
         (a.elementsAreBytes ? a.bytes == b.bytes : a.elements == b.elements);
}

bool Variant::operator==(const Variant& other) const {
  if (type() != other.type()) return false;
  if (type() == VarType::Array) return sameArray(*array(), *other.array());
  return value_ == other.value_;
}

}  // namespace platform::automation
