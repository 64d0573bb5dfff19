#include "quillon/convert/save_folder_files.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>


namespace quillon {

namespace {

bool hasCsvExtension(const std::string& name) {
  if (name.size() < 4) return false;
  std::string tail = name.substr(name.size() - 4);
  std::transform(tail.begin(), tail.end(), tail.begin(), [](unsigned char c) { return std::tolower(c); });
  return tail == ".csv";
}

std::vector<std::filesystem::path> csvFilesIn(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> files;
  std::error_code error;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    if (!it->is_regular_file(error)) continue;
    if (hasCsvExtension(it->path().filename().string())) files.push_back(it->path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

CsvFields splitAtCommas(const std::string& line) {
  CsvFields fields;
  std::size_t start = 0;
  while (true) {
    std::size_t comma = line.find(',', start);
    fields.push_back(line.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) return fields;
    start = comma + 1;
  }
}

}  // namespace

std::optional<std::filesystem::path> FirstCsvFile(const std::filesystem::path& folder, std::string_view prefix) {
  for (const auto& file : csvFilesIn(folder))
    if (file.filename().string().starts_with(prefix)) return file;
  return std::nullopt;
}

std::vector<CsvFields> ReadCsvFields(const std::filesystem::path& file, const platform::shell::CodePage& codePage) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("The file " + file.string() + " cannot be read.");
  std::string text((std::istreambuf_iterator<char>(in)), {});
  if (in.bad()) throw std::runtime_error("The file " + file.string() + " cannot be read.");
  std::vector<CsvFields> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(splitAtCommas(codePage.fromAnsi(line)));
    start = end + 1;
  }
  return lines;
}

const std::string& FieldOf(const CsvFields& fields, std::size_t index) {
  static const std::string kEmpty;
  return index < fields.size() ? fields[index] : kEmpty;
}

std::string DeleteCsvFiles(const std::filesystem::path& folder) {
  for (const auto& file : csvFilesIn(folder)) {
    std::error_code error;
    std::filesystem::remove(file, error);
    if (error) return "The file " + file.string() + " cannot be deleted: " + error.message();
  }
  return {};
}

std::string TrimBlanks(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(' ');
  return std::string(text.substr(first, last - first + 1));
}

}  // namespace quillon
