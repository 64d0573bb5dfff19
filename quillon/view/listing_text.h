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

}  // namespace quillon::view
