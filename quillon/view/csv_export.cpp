#include "quillon/view/csv_export.h"

#include <cmath>
#include <fstream>
#include <set>
#include <sstream>

#include "platform/shell/complete_file.h"

namespace quillon::view {

namespace {

namespace fs = std::filesystem;

// "20140103_090759" from "2014/01/03  09:07:59"; empty when the time holds no 14 digits.
std::string timeStamp(const std::string& faultTime) {
  std::string digits;
  for (char c : faultTime)
    if (c >= '0' && c <= '9') digits += c;
  if (digits.size() != 14) return {};
  return digits.substr(0, 8) + "_" + digits.substr(8);
}

}  // namespace

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

namespace {

// Per group with a fault sample: how far a row is from it, in samples and, where the user said
// what a sampling value means, in seconds; empty beyond the group's depth.
struct FaultColumns {
  const SampleGroup* group;
  AxisMapping axis;
  std::size_t depth;
};

std::vector<FaultColumns> faultColumnsOf(const Bank& bank, std::optional<double> secondsPerSampling) {
  std::vector<FaultColumns> columns;
  for (const SampleGroup& group : bank.groups)
    if (bank.faultSampleOf(group)) columns.push_back({&group, bank.axisOf(group, secondsPerSampling), bank.depthOf(group)});
  return columns;
}

void appendFaultCells(const std::vector<FaultColumns>& columns, std::size_t row, std::string& line) {
  for (const FaultColumns& c : columns) {
    const bool inGroup = row < c.depth;
    const double fromFault = static_cast<double>(row + 1) - c.axis.origin;
    line += ',';
    if (inGroup) line += StoredNumberText(fromFault);
    if (!c.axis.timed) continue;
    line += ',';
    if (inGroup) line += StoredNumberText(c.axis.positionOf(static_cast<double>(row + 1)));
  }
}

}  // namespace

void WriteBankCsv(const Bank& bank, std::ostream& out, std::optional<double> secondsPerSampling) {
  const std::vector<FaultColumns> faultColumns = faultColumnsOf(bank, secondsPerSampling);
  out << "sample";
  for (const FaultColumns& c : faultColumns) {
    const std::string group = "G" + std::to_string(c.group->number);
    out << ',' << group << " samples from fault";
    if (c.axis.timed) out << ',' << group << " time from fault [s]";
  }
  for (const Signal& signal : bank.signals) {
    const std::string unit = ShownUnit(signal);
    out << ',' << CsvField(signal.symbol + (unit.empty() ? std::string() : " [" + unit + "]"));
  }
  out << ",fault\r\n";
  std::vector<std::size_t> depth;
  for (const Signal& signal : bank.signals) depth.push_back(bank.depthOf(signal));
  std::string line;
  for (std::size_t r = 0; r < bank.rows; ++r) {
    line = std::to_string(r + 1);
    appendFaultCells(faultColumns, r, line);
    for (std::size_t i = 0; i < bank.signals.size(); ++i) {
      line += ',';
      const double value = bank.signalSamples(i)[r];
      if (r < depth[i] && std::isfinite(value)) line += StoredNumberText(ShownValue(bank.signals[i], value));
    }
    line += ',';
    std::string fault;
    for (const SampleGroup& group : bank.groups)
      if (bank.faultSampleOf(group) == r + 1) fault += (fault.empty() ? "G" : " G") + std::to_string(group.number);
    line += fault;
    line += "\r\n";
    out << line;
  }
}

std::string BankFileStem(const Bank& bank) {
  const std::string stamp = timeStamp(bank.faultTime);
  std::string name = bank.number ? "bank" + std::to_string(*bank.number) : std::string("trace");
  if (!stamp.empty()) name += "_" + stamp;
  return name;
}

std::string BankCsvFileName(const Bank& bank) { return BankFileStem(bank) + ".csv"; }

void WriteFileComplete(const fs::path& file, const std::string& text) {
  if (const std::string failure = platform::shell::WriteFileCompletely(file, text); !failure.empty())
    throw ExportError(failure + ".");
}

std::vector<fs::path> ExportBanksCsv(const SaveModel& model, const fs::path& folder, const CsvExportOptions& options) {
  // DIR itself is made, but not a missing folder above it: a mistyped path is an error.
  std::error_code error;
  fs::create_directory(folder, error);
  if (error) throw ExportError(folder.string() + ": the folder cannot be made (" + error.message() + ").");
  if (!fs::is_directory(folder)) throw ExportError(folder.string() + ": the folder cannot be made (a file of that name exists).");
  std::vector<fs::path> names;
  std::set<std::string> used;
  for (const Bank& bank : model.banks) {
    const std::string base = BankCsvFileName(bank);
    std::string name = base;
    // Two banks of the same second: the later gets a suffix.
    for (int n = 2; used.count(name); ++n) name = base.substr(0, base.size() - 4) + "_" + std::to_string(n) + ".csv";
    used.insert(name);
    names.push_back(folder / name);
  }
  // An earlier export may hold the user's edits: checked for all files before any is written.
  if (!options.replace)
    for (const fs::path& file : names)
      if (fs::exists(fs::symlink_status(file, error)))
        throw ExportError(file.string() + ": the file exists and was kept; nothing written (--force replaces it).");
  for (std::size_t i = 0; i < names.size(); ++i) {
    std::ostringstream text;
    // Excel on Windows reads UTF-8 only after a byte-order mark; other readers may trip on one.
    if (options.excel) text << "\xEF\xBB\xBF";
    WriteBankCsv(model.banks[i], text, options.secondsPerSampling);
    WriteFileComplete(names[i], text.str());
  }
  return names;
}

}  // namespace quillon::view
