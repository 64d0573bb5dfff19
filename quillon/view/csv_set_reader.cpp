// The CSV forms of a save: a bank's CSV set (Trb<bank>_*.csv, written without a drive
// database) and the record files of the working folder. Lines are split at "," as written,
// without quoting; every line is checked for the fields it must hold.
#include <charconv>
#include <fstream>
#include <iterator>
#include <limits>

#include "quillon/convert/save_folder_files.h"
#include "quillon/view/save_reader.h"

namespace quillon::view {

namespace {

namespace fs = std::filesystem;

constexpr int kRecordedGroups = 3;

std::string fileName(const fs::path& file) { return file.filename().string(); }

std::vector<CsvFields> linesOf(const fs::path& file, const platform::shell::CodePage& codePage) {
  try {
    std::vector<CsvFields> lines = ReadCsvFields(file, codePage);
    // The last line ends with CR LF like the others: nothing follows it.
    if (!lines.empty() && lines.back().size() == 1 && lines.back()[0].empty()) lines.pop_back();
    return lines;
  } catch (const std::exception& error) {
    throw SaveError(error.what());
  }
}

std::string lineError(const fs::path& file, std::size_t line, const std::string& what) {
  return fileName(file) + ": line " + std::to_string(line + 1) + " " + what;
}

void requireFields(const fs::path& file, const std::vector<CsvFields>& lines, std::size_t fields) {
  for (std::size_t n = 0; n < lines.size(); ++n)
    if (lines[n].size() < fields)
      throw SaveError(lineError(file, n, "has " + std::to_string(lines[n].size()) + " fields, at least " +
                                             std::to_string(fields) + " expected."));
}

template <typename Number>
bool parseWhole(std::string_view text, Number& value) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && result.ec == std::errc() && result.ptr == text.data() + text.size();
}

long long wholeField(const fs::path& file, std::size_t line, const CsvFields& fields, std::size_t index) {
  long long value = 0;
  if (!parseWhole(FieldOf(fields, index), value))
    throw SaveError(lineError(file, line, "holds \"" + FieldOf(fields, index) + "\" in field " +
                                              std::to_string(index + 1) + " where a whole number belongs."));
  return value;
}

// The first field numbers the lines from 1.
void requireRunningNumbers(const fs::path& file, const std::vector<CsvFields>& lines) {
  for (std::size_t n = 0; n < lines.size(); ++n)
    if (wholeField(file, n, lines[n], 0) != static_cast<long long>(n + 1))
      throw SaveError(lineError(file, n, "is numbered " + lines[n][0] + ", " + std::to_string(n + 1) + " expected."));
}

// Everything after the second comma: names may hold commas of their own.
std::string memoValue(const std::vector<std::string>& fields) {
  std::string value;
  for (std::size_t i = 2; i < fields.size(); ++i) value += (i > 2 ? "," : "") + fields[i];
  return value;
}

void readMemo(const fs::path& file, Bank& bank, DriveInfo& drive, const platform::shell::CodePage& codePage) {
  const auto lines = linesOf(file, codePage);
  requireFields(file, lines, 3);
  for (const CsvFields& line : lines) {
    const std::string& key = line[1];
    if (key == "DriveType" && drive.driveType.empty()) drive.driveType = memoValue(line);
    else if (key == "SoftVer") bank.softVersion = memoValue(line);
    else if (key == "PanelName" && drive.panelName.empty()) drive.panelName = memoValue(line);
  }
}

// "1," order number "," time ",3," inverter rating "," motor rating ", , ": read from the
// right, as only the order number may hold a comma of its own.
void readTitle(const fs::path& file, Bank& bank, DriveInfo& drive, const platform::shell::CodePage& codePage) {
  const auto lines = linesOf(file, codePage);
  if (lines.empty()) throw SaveError(fileName(file) + ": the title line is missing.");
  const CsvFields& fields = lines.front();
  if (fields.size() < 8) throw SaveError(lineError(file, 0, "has " + std::to_string(fields.size()) + " fields, at least 8 expected."));
  const std::size_t last = fields.size() - 1;
  const std::string& motor = fields[last - 2];
  const std::string& inverter = fields[last - 3];
  bank.faultTime = fields[last - 5];
  std::string order;
  for (std::size_t i = 1; i < last - 5; ++i) order += (i > 1 ? "," : "") + fields[i];
  if (drive.orderNumber.empty()) drive.orderNumber = order;
  if (drive.inverterRating.empty()) drive.inverterRating = inverter;
  if (drive.motorRating.empty()) drive.motorRating = motor;
}

void readGroups(const fs::path& file, Bank& bank, const platform::shell::CodePage& codePage) {
  const auto lines = linesOf(file, codePage);
  if (lines.size() < kRecordedGroups)
    throw SaveError(fileName(file) + ": " + std::to_string(lines.size()) + " lines, 3 expected.");
  requireFields(file, lines, 5);
  for (std::size_t n = 0; n < kRecordedGroups; ++n) {
    SampleGroup group;
    group.number = static_cast<int>(wholeField(file, n, lines[n], 0));
    if (group.number != static_cast<int>(n + 1)) throw SaveError(lineError(file, n, "names group " + lines[n][0] + "."));
    const long long depth = wholeField(file, n, lines[n], 1), signals = wholeField(file, n, lines[n], 2);
    const long long fault = wholeField(file, n, lines[n], 3);
    if (depth < 0 || depth > static_cast<long long>(kMaxSamples) || signals < 0 ||
        signals > static_cast<long long>(kMaxSignals) || fault < -32768 || fault > 32767)
      throw SaveError(lineError(file, n, "holds a group layout no drive has."));
    group.depth = static_cast<int>(depth);
    group.signalsUpTo = static_cast<int>(signals);
    group.faultSample = static_cast<int>(fault);
    group.sampling = wholeField(file, n, lines[n], 4);
    bank.groups.push_back(group);
  }
}

void readFaults(const fs::path& file, Bank& bank, const platform::shell::CodePage& codePage) {
  const auto lines = linesOf(file, codePage);
  requireFields(file, lines, 5);
  for (std::size_t n = 0; n < lines.size(); ++n) {
    const std::string code = TrimBlanks(lines[n][3]);
    if (code.empty() || code == "-1") continue;  // entries the drive left empty
    Fault fault;
    fault.entry = static_cast<int>(n + 1);
    fault.code = code;
    long long sample = 0;
    if (parseWhole(lines[n][4], sample)) fault.detectedSample = sample;
    bank.faults.push_back(std::move(fault));
  }
}

void readSignals(const fs::path& file, Bank& bank, const platform::shell::CodePage& codePage) {
  const auto lines = linesOf(file, codePage);
  requireFields(file, lines, 3);
  requireRunningNumbers(file, lines);
  if (lines.size() > kMaxSignals)
    throw SaveError(fileName(file) + ": " + std::to_string(lines.size()) + " signals; a bank holds at most 255.");
  for (const CsvFields& line : lines) {
    Signal signal;
    signal.number = static_cast<int>(bank.signals.size() + 1);
    signal.address = TrimBlanks(line[2]);
    signal.symbol = signal.longName = signal.address;  // no drive database named it
    for (const SampleGroup& group : bank.groups)
      if (signal.group == 0 && signal.number <= group.signalsUpTo) signal.group = group.number;
    bank.signals.push_back(std::move(signal));
  }
}

std::string wholeFileText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), {});
  if (!in.is_open() || in.bad()) throw SaveError(fileName(file) + ": the file cannot be read.");
  return text;
}

// Line i: i, then one whole number per signal. Parsed in place: a full bank has 4 million.
void readSamples(const fs::path& file, Bank& bank) {
  const std::string text = wholeFileText(file);
  const std::size_t signals = bank.signals.size();
  std::size_t start = 0, lineCount = 0;
  std::vector<double> rowMajor;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    start = end + 1;
    if (lineCount >= kMaxSamples)
      throw SaveError(fileName(file) + ": more than " + std::to_string(kMaxSamples) + " samples per signal.");
    std::size_t field = 0;
    std::size_t at = 0;
    while (true) {
      const std::size_t comma = line.find(',', at);
      const std::string_view part = line.substr(at, comma == std::string_view::npos ? std::string_view::npos : comma - at);
      long long value = 0;
      if (!parseWhole(part, value) || value < std::numeric_limits<std::int32_t>::min() ||
          value > std::numeric_limits<std::int32_t>::max())
        throw SaveError(lineError(file, lineCount, "holds \"" + std::string(part) + "\" in field " +
                                                       std::to_string(field + 1) + " where a whole number belongs."));
      if (field == 0) {
        if (value != static_cast<long long>(lineCount + 1))
          throw SaveError(lineError(file, lineCount, "is numbered " + std::string(part) + ", " +
                                                         std::to_string(lineCount + 1) + " expected."));
      } else if (field <= signals) {
        rowMajor.push_back(static_cast<double>(value));
      }
      ++field;
      if (comma == std::string_view::npos) break;
      at = comma + 1;
    }
    if (field != signals + 1)
      throw SaveError(lineError(file, lineCount, "has " + std::to_string(field - 1) + " samples, " +
                                                     std::to_string(signals) + " expected (one per signal)."));
    ++lineCount;
  }
  bank.rows = lineCount;
  bank.samples.resize(signals * lineCount);
  for (std::size_t r = 0; r < lineCount; ++r)
    for (std::size_t i = 0; i < signals; ++i) bank.samples[i * lineCount + r] = rowMajor[r * signals + i];
  bank.rawSamples = true;
}

fs::path setFile(const fs::path& folder, int bank, const char* suffix) {
  const fs::path file = folder / ("Trb" + std::to_string(bank) + suffix);
  if (!fs::is_regular_file(file))
    throw SaveError(fileName(folder) + ": the CSV set has no file " + fileName(file) + ".");
  return file;
}

struct RecordFile {
  const char* prefix;
  TableKind kind;
  std::vector<const char*> columns;
};

const RecordFile kRecordFiles[] = {
    {"TroubleRecord_", TableKind::TroubleRecords, {"No.", "Time", "Fault code 1", "Fault code 2"}},
    {"EventCount_", TableKind::EventCounters, {"No.", "Time", "Count"}},
    {"DriveSts_", TableKind::DriveStatus, {"Item", "Value"}},
    {"Evtlg_", TableKind::EventLog, {"No.", "Time", "DI_DATA1", "DI_DATA5", "DI_DATA6", "SSEQ_OUT1", "SSEQ_OUT3"}},
    {"Set_Sram_", TableKind::SettingParameters, {"No.", "Address", "Value"}},
};

RecordTable readRecordFile(const fs::path& file, const RecordFile& form, const platform::shell::CodePage& codePage) {
  const auto lines = linesOf(file, codePage);
  requireFields(file, lines, form.columns.size());
  RecordTable table;
  table.title = TableTitle(form.kind);
  table.source = fileName(file);
  table.columns.assign(form.columns.begin(), form.columns.end());
  for (const CsvFields& line : lines) {
    std::vector<std::string> row;
    for (std::size_t c = 0; c < form.columns.size(); ++c) row.push_back(TrimBlanks(line[c]));
    table.rows.push_back(std::move(row));
  }
  return table;
}

}  // namespace

Bank ReadCsvSet(const fs::path& folder, int bankNumber, DriveInfo& drive, const platform::shell::CodePage& codePage) {
  Bank bank;
  bank.number = bankNumber;
  bank.source = fileName(folder);
  readMemo(setFile(folder, bankNumber, "_Memo.csv"), bank, drive, codePage);
  readTitle(setFile(folder, bankNumber, "_Title.csv"), bank, drive, codePage);
  readGroups(setFile(folder, bankNumber, "_SampleParameters.csv"), bank, codePage);
  readFaults(setFile(folder, bankNumber, "_FI.csv"), bank, codePage);
  readSignals(setFile(folder, bankNumber, "_Word.csv"), bank, codePage);
  readSamples(setFile(folder, bankNumber, "_Data.csv"), bank);
  return bank;
}

void ReadRecordFiles(const fs::path& folder, SaveModel& model, const platform::shell::CodePage& codePage) {
  for (const RecordFile& form : kRecordFiles) {
    if (model.table(form.kind)) continue;
    if (auto file = FirstCsvFile(folder, form.prefix))
      model.tables.emplace_back(form.kind, readRecordFile(*file, form, codePage));
  }
}

}  // namespace quillon::view
