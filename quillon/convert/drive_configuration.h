#pragma once
// The drive configuration file: the settings as an XML document of the configuration tool,
// with one signal element per parameter, completed from the product definition (".pdn").
#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "quillon/convert/setpoint_workbook.h"
#include "quillon/database/drive_db_location.h"

namespace quillon {

// Rows from 1 (row 0 unused): signal name, type, address, default marker ("V": no parameter).
using ProductSignalRow = std::array<std::string, 4>;
struct ProductDefinition {
  std::vector<ProductSignalRow> ProductSignals{ProductSignalRow{}};
};

// The first candidate file, or nothing: version + "_" + model + ".pdn" in the data folder, then
// in the configuration tool's definitions folder below the install root, last in the program
// folder (the definitions that ship beside the program).
std::optional<std::filesystem::path> LocateProductDefinition(const DriveDbSearch& search,
                                                             const std::string& version, const std::string& model);

// The signal rows of a product definition's text (UTF-8, lines ended by CR LF).
void ReadProductSignals(const std::string& text, ProductDefinition& definition);

// Reads the product definition of the version and model into `definition`; returns the
// number of signal rows, or -1 when no file was found. Throws when the file cannot be read.
int LoadDB(const DriveDbSearch& search, const std::string& version, const std::string& model,
           ProductDefinition& definition);

// The collected signal entries followed by one for each parameter of the definition that the
// image did not carry: value "0", or empty for a "String".
std::string CompletedSignals(const std::string& collected, const ProductDefinition& definition);

// The whole document.
std::string DriveConfigurationText(const SetpointTables& tables, const std::string& signals);

// The workbook's path with "mdb" replaced by "drc" in its file name.
std::filesystem::path DriveConfigurationPath(const std::filesystem::path& workbook);

// Writes `text` as UTF-16 little-endian with a byte-order mark, replacing the file; throws
// when it cannot be written completely.
void WriteUtf16File(const std::filesystem::path& file, const std::string& text);

}  // namespace quillon
