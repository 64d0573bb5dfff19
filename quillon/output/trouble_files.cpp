#include "quillon/output/trouble_files.h"

#include "quillon/output/records_file_writer.h"

namespace quillon {

namespace {

constexpr int kFirstTroubleLine = 1, kLastTroubleLine = 31;
constexpr int kFirstEventLine = 1, kLastEventLine = 15;

// Fields as the texts hold them: an entry never read gives "// ::".
std::string timeStampText(const TimeFields& time) {
  return time[1] + "/" + time[2] + "/" + time[3] + " " + time[4] + ":" + time[5] + ":" + time[6];
}

}  // namespace

std::string TroubleRecordFileName(const std::string& SafePanelName) {
  return "TroubleRecord_" + PanelNameForFiles(SafePanelName) + ".csv";
}

std::string EventCountFileName(const std::string& SafePanelName) {
  return "EventCount_" + PanelNameForFiles(SafePanelName) + ".csv";
}

std::vector<std::string> TroubleRecordFileLines(const TroubleTables& tables) {
  std::vector<std::string> lines;
  for (int r = kFirstTroubleLine; r <= kLastTroubleLine; ++r)
    lines.push_back(std::to_string(r) + "," + timeStampText(tables.TroubleTime[r]) + "," +
                    std::to_string(tables.TroubleValues[r][0]) + "," + std::to_string(tables.TroubleValues[r][1]));
  return lines;
}

std::vector<std::string> EventCountFileLines(const TroubleTables& tables) {
  std::vector<std::string> lines;
  for (int e = kFirstEventLine; e <= kLastEventLine; ++e)
    lines.push_back(std::to_string(e) + "," + timeStampText(tables.EventCountTime[e]) + "," +
                    std::to_string(tables.EventCountValue[e]));
  return lines;
}

std::string WriteTroubleFiles(const std::filesystem::path& workingFolder, const std::string& SafePanelName,
                              const TroubleTables& tables, const platform::shell::CodePage& codePage) {
  std::string error = writeWorkingFolderFile(workingFolder, TroubleRecordFileName(SafePanelName),
                                             TroubleRecordFileLines(tables), codePage);
  if (!error.empty()) return error;
  return writeWorkingFolderFile(workingFolder, EventCountFileName(SafePanelName), EventCountFileLines(tables),
                                codePage);
}

}  // namespace quillon
