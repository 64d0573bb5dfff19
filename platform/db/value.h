#pragma once
// One field value: Null, a whole number, a double, a single-precision float or text.
// Readers take fields as text unless they need a number.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace platform::db {

class Value {
 public:
  enum class Kind { Null, Integer, Real, Single, Text };

  Value() = default;
  Value(std::int64_t number) : data_(number) {}
  Value(int number) : data_(static_cast<std::int64_t>(number)) {}
  Value(double number) : data_(number) {}
  Value(float number) : data_(number) {}
  Value(std::string text) : data_(std::move(text)) {}
  Value(std::string_view text) : data_(std::string(text)) {}
  Value(const char* text) : data_(std::string(text)) {}

  static Value null() { return Value(); }

  Kind kind() const { return static_cast<Kind>(data_.index()); }
  bool isNull() const { return kind() == Kind::Null; }

  // Text form: whole numbers in decimal, floats in their shortest exact form, Null as "".
  std::string text() const;
  std::string textOr(std::string_view whenNull) const { return isNull() ? std::string(whenNull) : text(); }

  // Numeric reading; text that is not a whole number form (after blanks) gives nullopt.
  std::optional<double> number() const;

  // The value as stored, without a copy or a conversion; null when it is of another kind.
  const std::string* storedText() const { return std::get_if<std::string>(&data_); }
  const std::int64_t* storedInteger() const { return std::get_if<std::int64_t>(&data_); }

  bool operator==(const Value& other) const = default;

 private:
  std::variant<std::monostate, std::int64_t, double, float, std::string> data_;
};

// Shortest text that reads back to the same number ("100", "1.5", "1e+20").
std::string formatDouble(double number);
std::string formatSingle(float number);

// Parses a decimal number with optional surrounding blanks; nullopt when anything else is there.
std::optional<double> parseNumber(std::string_view text);

// Identifier comparison as the engine does it: ASCII letters without regard to case.
bool sameName(std::string_view a, std::string_view b);

}  // namespace platform::db
