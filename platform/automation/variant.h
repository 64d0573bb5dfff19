#pragma once
// A value that crosses the automation boundary: what VARIANT, BSTR and SAFEARRAY carry.
// Text is UTF-8 here; conversion to the ANSI code page happens where bytes reach the wire.
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "platform/automation/result.h"

namespace platform::automation {

class Variant;

// One-dimensional array with its lower bound, as a safe array has. Elements are bytes
// (the common case) or variants (an array of any other element type).
struct SafeArray {
  std::int32_t lowerBound = 0;
  std::vector<std::uint8_t> bytes;       // used when elementsAreBytes
  std::vector<Variant> elements;         // used otherwise
  bool elementsAreBytes = true;
  // A locked array's bounds and data cannot be reached (the caller sees an access failure).
  bool locked = false;

  std::int32_t upperBound() const;
  std::size_t size() const;
};

enum class VarType { Empty, Null, Bool, I2, I4, R4, R8, Text, Array };

class Variant {
 public:
  Variant() = default;
  static Variant null();
  Variant(bool v);
  Variant(std::int16_t v);
  Variant(std::int32_t v);
  Variant(float v);
  Variant(double v);
  Variant(std::string v);
  Variant(const char* v);
  Variant(SafeArray v);
  static Variant bytes(std::vector<std::uint8_t> data, std::int32_t lowerBound = 0);
  // Makes this a byte array holding a copy of `data`. A byte array this variant alone holds
  // keeps its storage, so a caller that reuses one variant per exchange allocates nothing.
  void assignBytes(std::span<const std::uint8_t> data, std::int32_t lowerBound = 0);

  VarType type() const;
  bool isEmpty() const { return type() == VarType::Empty; }

  // Coercions as the automation layer does them (VariantChangeType): numbers and
  // numeric text convert, booleans are -1/0; a failed coercion gives DISP_E_TYPEMISMATCH
  // or DISP_E_OVERFLOW and leaves `out` unchanged.
  HRESULT toBool(bool& out) const;
  HRESULT toInt32(std::int32_t& out) const;
  HRESULT toDouble(double& out) const;
  HRESULT toText(std::string& out) const;
  // An array of any element type as bytes from the lower to the upper bound; a locked
  // array fails with E_FAIL (the caller maps it to its own error).
  HRESULT toByteArray(std::vector<std::uint8_t>& out) const;

  const SafeArray* array() const;
  SafeArray* array();
  // The elements of an array of bytes that is not locked, without copying; empty otherwise
  // (test array() to tell an empty array from none).
  std::span<const std::uint8_t> byteElements() const;
  const std::string* text() const;

  bool operator==(const Variant& other) const;

 private:
  struct NullTag {
    bool operator==(const NullTag&) const = default;
  };
  std::variant<std::monostate, NullTag, bool, std::int16_t, std::int32_t, float, double, std::string,
               std::shared_ptr<SafeArray>>
      value_;
};

}  // namespace platform::automation
