#include "quillon/convert/drive_configuration.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "platform/shell/complete_file.h"
#include "quillon/convert/utf16_text.h"
#include "quillon/database/drive_db_location.h"

namespace quillon {

namespace {

constexpr const char* kDefinitionsFolder = "Program Files/Ardell/Stravix/Definitions/Product Definition";
constexpr std::string_view kSignalStart = "<signal name=";

// A name of one file: no folder separators, not "." or "..".
bool isFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\\') == std::string::npos && name.find('\0') == std::string::npos;
}

std::string trimmedLine(std::string_view line) {
  const auto first = line.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = line.find_last_not_of(" \t");
  return std::string(line.substr(first, last - first + 1));
}

// The value after `attribute` (which ends in "="): from behind its opening quotation mark up
// to the next one; empty when the line has no such attribute.
std::string quotedValue(const std::string& line, std::string_view attribute) {
  const auto at = line.find(attribute);
  if (at == std::string::npos) return {};
  const std::size_t start = at + attribute.size() + 1;
  if (start > line.size()) return {};
  const auto end = line.find('"', start);
  return line.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

std::vector<std::string> crlfLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (true) {
    const auto end = text.find("\r\n", start);
    lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return lines;
    start = end + 2;
  }
}

}  // namespace

std::optional<std::filesystem::path> LocateProductDefinition(const DriveDbSearch& search,
                                                             const std::string& version, const std::string& model) {
  const std::string name = version + "_" + model + ".pdn";
  if (!isFileName(name)) return std::nullopt;
  if (auto found = FindWithoutCase(search.dataFolder, name)) return found;
  if (auto found = FindWithoutCase(search.installRoot, std::filesystem::path(kDefinitionsFolder) / name)) return found;
  if (search.programFolder.empty()) return std::nullopt;
  return FindWithoutCase(search.programFolder, name);
}

void ReadProductSignals(const std::string& text, ProductDefinition& definition) {
  definition.ProductSignals.assign(1, ProductSignalRow{});
  for (const std::string& raw : crlfLines(text)) {
    const std::string line = trimmedLine(raw);
    if (!line.starts_with(kSignalStart)) continue;
    ProductSignalRow row;
    const std::size_t nameStart = kSignalStart.size() + 1;
    const auto nameEnd = line.find('"', nameStart);
    row[0] = nameStart <= line.size() ? line.substr(nameStart, nameEnd == std::string::npos ? std::string::npos
                                                                                             : nameEnd - nameStart)
                                      : std::string();
    row[1] = line.find("percentType=") != std::string::npos ? quotedValue(line, "percentType=")
                                                              : quotedValue(line, "displayType=");
    row[2] = quotedValue(line, "address=");
    if (line.find("\"Parameter\"") == std::string::npos) row[3] = "V";
    else if (line.find("defaultValue=") != std::string::npos) row[3] = quotedValue(line, "defaultValue=");
    else row[3] = "0";
    definition.ProductSignals.push_back(std::move(row));
  }
}

int LoadDB(const DriveDbSearch& search, const std::string& version, const std::string& model,
           ProductDefinition& definition) {
  auto file = LocateProductDefinition(search, version, model);
  if (!file) return -1;
  std::ifstream in(*file, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), {});
  if (!in.good() && !in.eof()) throw std::runtime_error("The product definition " + file->string() + " cannot be read.");
  ReadProductSignals(Utf16BytesToUtf8(bytes), definition);
  return static_cast<int>(definition.ProductSignals.size()) - 1;
}

std::string CompletedSignals(const std::string& collected, const ProductDefinition& definition) {
  std::string signals = collected;
  for (std::size_t n = 1; n < definition.ProductSignals.size(); ++n) {
    const ProductSignalRow& row = definition.ProductSignals[n];
    if (row[3] == "V") continue;
    if (signals.find("id=\"" + row[0] + "\"") != std::string::npos) continue;
    signals += row[1] == "String" ? "<signal value=\"\" " : "<signal value=\"0\" ";
    signals += "id=\"" + row[0] + "\"/>";
  }
  return signals;
}

std::string DriveConfigurationText(const SetpointTables& tables, const std::string& signals) {
  const auto& ip = tables.toolIp;
  const std::string address = std::to_string(ip[0]) + "." + std::to_string(ip[1]) + "." + std::to_string(ip[2]) +
                              "." + std::to_string(ip[3]);
  return "<?xml version=\"1.0\" encoding=\"utf-16\"?><driveConfiguration><driveConfig name=\"" +
         tables.configurationName + "\" eeprombank=\"A\" producttype=\"" + tables.driveModel +
         "\" firmwareversion=\"" + tables.firmwareVersion +
         "\" lastchangeddatetime=\"01/01/2014 00:00\" id=\"DriveFiles:125:\" checksum=\"\"><connectionInfo "
         "sourceportnumber=\"22359\" busnumber=\"0\" stationnumber=\"0\" rioipaddress=\"\" nodenumber=\"0\" "
         "rioportnumber=\"0\" connectiontype=\"Direct\" slotnumber=\"0\" ipaddress=\"" +
         address + "\" unitnumber=\"0\" secondaryipaddress=\"\" destinationportnumber=\"22360\"/><signals>" +
         signals + "</signals><changeHistory></changeHistory></driveConfig></driveConfiguration>";
}

std::filesystem::path DriveConfigurationPath(const std::filesystem::path& workbook) {
  // Only the file name: a folder named with "mdb" is not where the workbook lies.
  std::string name = workbook.filename().string();
  for (auto at = name.find("mdb"); at != std::string::npos; at = name.find("mdb", at + 3)) name.replace(at, 3, "drc");
  return workbook.parent_path() / name;
}

void WriteUtf16File(const std::filesystem::path& file, const std::string& text) {
  if (std::string failure = platform::shell::WriteFileCompletely(file, Utf8ToUtf16LeWithMark(text)); !failure.empty())
    throw std::runtime_error("The drive configuration file was not written: " + failure);
}

}  // namespace quillon
