#include "quillon/output/setpoint_files.h"

#include <cstdint>
#include <cstdio>

#include "quillon/output/records_file_writer.h"

namespace quillon {

namespace {

constexpr int kWordsPerEventRecord = 8;
constexpr int kEventYearBase = 2000;

std::int16_t wordAt(const std::vector<std::int16_t>& words, std::int64_t index) {
  return index >= 0 && index < static_cast<std::int64_t>(words.size()) ? words[static_cast<std::size_t>(index)] : 0;
}

int highByte(std::int16_t word) { return static_cast<std::uint16_t>(word) >> 8; }
int lowByte(std::int16_t word) { return static_cast<std::uint16_t>(word) & 0xFF; }

// Upper-case hexadecimal, at least four digits; negative addresses as their 32-bit pattern.
std::string addressLabel(std::int64_t address) {
  char text[16];
  std::snprintf(text, sizeof text, "%04llX", static_cast<unsigned long long>(address) & 0xFFFFFFFFull);
  return text;
}

// Two digits; a byte of 100 or more keeps only its last two.
std::string twoDigits(int value) {
  char text[4];
  std::snprintf(text, sizeof text, "%02d", value % 100);
  return text;
}

}  // namespace

std::string PanelNameForFiles(const std::string& safePanelName) {
  const auto end = safePanelName.find_last_not_of(' ');
  return end == std::string::npos ? std::string() : safePanelName.substr(0, end + 1);
}

std::string SetpointFileName(const std::string& SafePanelName) {
  return "Set_Sram_" + PanelNameForFiles(SafePanelName) + ".csv";
}

std::string EventLogFileName(const std::string& SafePanelName) {
  return "Evtlg_" + PanelNameForFiles(SafePanelName) + ".csv";
}

std::vector<std::string> SetpointFileLines(const MemoryTables& tables) {
  const MemoryRanges& ranges = tables.ranges;
  const double lineCount = static_cast<double>(memorySpanBytes(ranges.SetpointStart, ranges.SetpointEnd)) / 2.0;
  std::vector<std::string> lines;
  for (std::int64_t i = 1; i <= lineCount; ++i) {
    const std::int64_t address = ranges.SetpointStart + 2 * (i - 1);
    lines.push_back(std::to_string(i) + ",0x" + addressLabel(address) + "," +
                    std::to_string(wordAt(tables.SetpointWords, i)) + ",");
  }
  return lines;
}

std::vector<std::string> EventLogFileLines(const MemoryTables& tables) {
  const MemoryRanges& ranges = tables.ranges;
  const double recordCount =
      static_cast<double>(memorySpanBytes(ranges.EventLogStart, ranges.EventLogEnd)) / 2.0 / kWordsPerEventRecord;
  std::vector<std::string> lines;
  for (std::int64_t k = 1; k <= recordCount; ++k) {
    std::int16_t w[kWordsPerEventRecord + 1] = {};
    for (int n = 1; n <= kWordsPerEventRecord; ++n)
      w[n] = wordAt(tables.EventLogWords, kWordsPerEventRecord * (k - 1) + n);
    const std::string stamp = std::to_string(kEventYearBase + lowByte(w[7])) + "/" + twoDigits(lowByte(w[8])) +
                              "/" + twoDigits(highByte(w[7])) + " " + twoDigits(highByte(w[5])) + ":" +
                              twoDigits(lowByte(w[5])) + ":" + twoDigits(highByte(w[8]));
    lines.push_back(std::to_string(k) + "," + stamp + "," + std::to_string(w[2]) + "," + std::to_string(w[1]) + "," +
                    std::to_string(w[4]) + "," + std::to_string(w[3]) + "," + std::to_string(w[6]));
  }
  return lines;
}

std::string WriteSetpointFile(const std::filesystem::path& workingFolder, const std::string& SafePanelName,
                              const MemoryTables& tables, const platform::shell::CodePage& codePage) {
  return writeWorkingFolderFile(workingFolder, SetpointFileName(SafePanelName), SetpointFileLines(tables), codePage);
}

std::string WriteEventLogFile(const std::filesystem::path& workingFolder, const std::string& SafePanelName,
                              const MemoryTables& tables, const platform::shell::CodePage& codePage) {
  return writeWorkingFolderFile(workingFolder, EventLogFileName(SafePanelName), EventLogFileLines(tables), codePage);
}

}  // namespace quillon
