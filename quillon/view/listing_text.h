#pragma once
// Texts of the comparison and the list of saves: columns aligned for the terminal, and JSON
// strings for scripts.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::view {

// Rows of cells, each column as wide as its widest cell (in characters), separated by two
// blanks; the last column is not padded. Every line starts with `indent`.
std::string AlignedColumns(const std::vector<std::vector<std::string>>& rows, const std::string& indent = "");

// The text as a JSON string, quotes included; bytes that are no UTF-8 become U+FFFD.
std::string JsonString(std::string_view text);
// JSON null for nothing.
std::string JsonOrNull(const std::optional<std::string>& text);

// The items one after another with `separator` between them ("1, 2, 3").
std::string Joined(const std::vector<std::string>& items, std::string_view separator);
std::string Joined(const std::vector<int>& numbers, std::string_view separator);

}  // namespace quillon::view
