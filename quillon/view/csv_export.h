#pragma once
// A save's banks as tidy CSV files for spreadsheets and scripts: UTF-8, one file per bank,
// a header row of symbols with the unit of the values shown ("SPD_REF [%]"), the sample index
// first, then per group the samples (and seconds, where known) from its fault, one column per
// signal and a column "fault" naming the groups ("G1 G2") whose fault sample a row is.
#include <filesystem>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "quillon/view/save_model.h"

namespace quillon::view {

class ExportError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

void WriteBankCsv(const Bank& bank, std::ostream& out, std::optional<double> secondsPerSampling = std::nullopt);

// "bank<N>_<yyyymmdd>_<hhmmss>.csv", or "trace_..." where the bank number is not saved.
std::string BankCsvFileName(const Bank& bank);
// The one rule for naming what is exported of a bank: "bank2_20140103_090759" ("trace_..."
// where the save does not keep the bank number).
std::string BankFileStem(const Bank& bank);

struct CsvExportOptions {
  bool replace = false;  // a file of the same name already there is replaced, not kept
  bool excel = false;    // UTF-8 with byte-order mark
  std::optional<double> secondsPerSampling;  // adds the time from the fault
};

// Creates `folder` when missing; a file is put under its name only once complete. A file of
// the same name already there is kept, and nothing is written, unless `options.replace`.
// Returns the files written; throws ExportError.
std::vector<std::filesystem::path> ExportBanksCsv(const SaveModel& model, const std::filesystem::path& folder,
                                                  const CsvExportOptions& options = {});

// A CSV field, quoted when it holds a comma, quotation mark or line break.
std::string CsvField(const std::string& text);

// Writes `text` to `file` through a temporary name; throws ExportError.
void WriteFileComplete(const std::filesystem::path& file, const std::string& text);

}  // namespace quillon::view
