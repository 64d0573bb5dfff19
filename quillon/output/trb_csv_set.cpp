#include "quillon/output/trb_csv_set.h"

#include <algorithm>
#include <charconv>
#include <string_view>
#include <vector>

#include "quillon/output/records_file_writer.h"

namespace quillon {

namespace {

enum BankTimeField { kYear = 1, kMonth, kDay, kHour, kMinute, kSecond };

constexpr int kFaultEntries = 30;
constexpr int kParameterGroups = 3;  // groups 4 and 5 are not part of the file

std::string withoutTrailingBlanks(const std::string& text) {
  const std::size_t end = text.find_last_not_of(' ');
  return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

constexpr std::size_t kLongestDecimal = 11;  // "-2147483648"

// The same digits as std::to_string, written at `at` (room for kLongestDecimal characters);
// returns the end.
char* writeDecimal(char* at, std::int32_t value) { return std::to_chars(at, at + kLongestDecimal, value).ptr; }

std::string optionalText(const std::optional<std::int16_t>& value) {
  return value ? std::to_string(*value) : std::string();
}

class CsvSet {
 public:
  CsvSet(const TraceBank& bank, std::filesystem::path folder, const platform::shell::CodePage& codePage)
      : id_(bank.identity), t_(bank.tables), bank_(bank.bank), folder_(std::move(folder)), codePage_(codePage) {}

  std::string writeAll() {
    for (auto write : {&CsvSet::writeData, &CsvSet::writeFaults, &CsvSet::writeMemo, &CsvSet::writeParameters,
                       &CsvSet::writeTitle, &CsvSet::writeAddresses})
      if (std::string error = (this->*write)(); !error.empty()) return error;
    return {};
  }

 private:
  TextFileWriter file(std::string_view suffix) const {
    return TextFileWriter(folder_ / ("Trb" + std::to_string(bank_) + std::string(suffix)), codePage_);
  }

  // One line per sample index: the index, then that sample of every signal.
  std::string writeData() const {
    TextFileWriter out = file("_Data.csv");
    const bool wide = id_.InterfaceLevel >= kWideRequestSetLevel;
    const int depth = t_.sampleDepth();
    const int signals = t_.SignalsPerBank;
    // The table keeps a signal's samples together, a line takes one sample of each signal:
    // a block of lines is gathered signal by signal, in the table's order, and then written,
    // instead of striding across the whole table for every value.
    constexpr int kLinesPerBlock = 64;
    std::vector<std::int32_t> block(static_cast<std::size_t>(kLinesPerBlock) * static_cast<std::size_t>(signals));
    auto at = [&](int line, int signal) -> std::int32_t& {
      return block[static_cast<std::size_t>(line) * static_cast<std::size_t>(signals) + static_cast<std::size_t>(signal - 1)];
    };
    // A line: the index and one value per signal, each at most a sign and ten digits, commas.
    std::vector<char> line(static_cast<std::size_t>(signals + 1) * (kLongestDecimal + 1));
    for (int first = 1; first <= depth; first += kLinesPerBlock) {
      const int lines = std::min(kLinesPerBlock, depth - first + 1);
      for (int s = 1; s <= signals; ++s)
        for (int k = 0; k < lines; ++k)
          at(k, s) = wide ? t_.SampleData32.at(s, first + k) : t_.SampleData16.at(s, first + k);
      for (int k = 0; k < lines; ++k) {
        char* end = writeDecimal(line.data(), first + k);
        for (int s = 1; s <= signals; ++s) {
          *end++ = ',';
          end = writeDecimal(end, at(k, s));
        }
        out.line(std::string_view(line.data(), static_cast<std::size_t>(end - line.data())));
      }
    }
    return out.finish();
  }

  std::string writeFaults() const {
    TextFileWriter out = file("_FI.csv");
    const BankFaultList& faults = t_.bankFaults(bank_);
    for (int e = 1; e <= kFaultEntries; ++e)
      out.line(std::to_string(e) + ", , ," + optionalText(faults[e][1]) + "," + optionalText(faults[e][2]));
    return out.finish();
  }

  std::string writeMemo() const {
    TextFileWriter out = file("_Memo.csv");
    const std::string version = t_.bankSoftVersion(bank_);
    out.line("1,DriveType," + id_.DriveType);
    out.line("2,SoftVer," + version);
    out.line("3,PanelName," + id_.PanelName);
    out.line("4,Custmer,??");
    out.line("5,Templete#, 0");
    out.line("6,FileFor,TraceBack");
    return out.finish();
  }

  std::string writeParameters() const {
    TextFileWriter out = file("_SampleParameters.csv");
    for (int k = 1; k <= kParameterGroups; ++k)
      out.line(std::to_string(k) + "," + std::to_string(t_.GroupDepth[k - 1] * kDepthUnitSamples) + "," +
               std::to_string(t_.signalsUpToGroup(k)) + "," + std::to_string(t_.GroupFaultIndex[k]) + "," +
               std::to_string(t_.GroupSampling[k]));
    return out.finish();
  }

  std::string writeTitle() const {
    TextFileWriter out = file("_Title.csv");
    const BankTimeRow& time = t_.bankTime(bank_);
    out.line("1," + id_.OrderNumber1 + " " + id_.OrderNumber2 + "," + time[kYear] + "/" + time[kMonth] + "/" +
             time[kDay] + "  " + time[kHour] + ":" + time[kMinute] + ":" + time[kSecond] + ",3," +
             id_.InverterVoltage + "V - " + id_.InverterCurrent + "A - " + id_.InverterCapacity + "KVA," +
             id_.MotorOutput + "kW - " + id_.MotorPoles + "P - " + id_.MotorVoltage + "V - " + id_.MotorCurrent +
             "A - " + id_.MotorFrequency + "Hz - " + id_.MotorSpeed + "min-1, , ");
    return out.finish();
  }

  std::string writeAddresses() const {
    TextFileWriter out = file("_Word.csv");
    for (int s = 1; s <= t_.SignalsPerBank; ++s)
      out.line(std::to_string(s) + ", ," + t_.signalAddress(bank_, s) + ", , , , , ");
    return out.finish();
  }

  const DriveIdentity& id_;
  const TraceBackTables& t_;
  int bank_;
  std::filesystem::path folder_;
  const platform::shell::CodePage& codePage_;
};

}  // namespace

std::string TrbFolderName(const std::string& safePanelName, const BankTimeRow& time) {
  return "TRB_" + withoutTrailingBlanks(safePanelName) + "_" + time[kYear] + time[kMonth] + time[kDay] + "_" +
         time[kHour] + time[kMinute] + time[kSecond];
}

std::string WriteTrbCsvSet(const std::filesystem::path& workingFolder, const TraceBank& bank,
                           const platform::shell::CodePage& codePage) {
  std::filesystem::path folder;
  const std::string name = TrbFolderName(bank.SafePanelName, bank.tables.bankTime(bank.bank));
  if (std::string error = makeWorkingSubfolder(workingFolder, name, folder); !error.empty()) return error;
  return CsvSet(bank, folder, codePage).writeAll();
}

}  // namespace quillon
