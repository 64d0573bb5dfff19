#pragma once
// The CSV files of the working folder as the conversion reads them back: the first file of a
// pattern, its lines split at ",", and the deletion of every CSV file once all is written.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/shell/codepage.h"

namespace quillon {

using CsvFields = std::vector<std::string>;

// The first regular file in `folder` whose name starts with `prefix` and ends in ".csv", in
// name order (a directory listing of "prefix*.csv").
std::optional<std::filesystem::path> FirstCsvFile(const std::filesystem::path& folder, std::string_view prefix);

// Every line of the file (CR LF or LF ended, converted from `codePage`), split at ",".
// Throws std::runtime_error when the file cannot be read.
std::vector<CsvFields> ReadCsvFields(const std::filesystem::path& file, const platform::shell::CodePage& codePage);

// Field `index` of a line, or empty text when the line is shorter.
const std::string& FieldOf(const CsvFields& fields, std::size_t index);

// Deletes every "*.csv" file in `folder`; returns why one could not be deleted, or empty text.
std::string DeleteCsvFiles(const std::filesystem::path& folder);

// Blanks removed at both ends.
std::string TrimBlanks(std::string_view text);

}  // namespace quillon
