#include "quillon/output/drive_status_file.h"

#include <cstdint>
#include <cstdio>

#include "quillon/output/records_file_writer.h"

namespace quillon {

namespace {

std::string prCodeName(int k) {
  char text[16];
  std::snprintf(text, sizeof text, "PR_CODE%02d", k);
  return text;
}

}  // namespace

std::string DriveStatusFileName(const SaveFileNames& names) {
  return "DriveSts_" + PanelNameForFiles(names.SafePanelName) + ".csv";
}

int hexLiteralValue(const std::string& text) {
  if (text.empty() || text.size() > 8) return 0;
  std::uint32_t value = 0;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else return 0;
    value = value << 4 | static_cast<std::uint32_t>(digit);
  }
  if (text.size() <= 4) return static_cast<std::int16_t>(value);
  return static_cast<std::int32_t>(value);
}

std::vector<std::string> DriveStatusFileLines(const DriveStatusTable& table, const std::string& interfaceVersionText,
                                              ProgramVersion version) {
  const auto& s = table.DriveStatusText;
  std::vector<std::string> lines;
  lines.push_back("Quillon Ver, " + std::to_string(version.major) + "." + std::to_string(version.minor));
  lines.push_back("Drive Interface Ver, " + interfaceVersionText);
  lines.push_back("Drive Time, " + s[1] + "/" + s[2] + "/" + s[3] + " " + s[4] + ":" + s[5] + ":" + s[6]);
  lines.push_back("SSEQ_OUT1, " + s[kSseqOut1Index]);
  lines.push_back("SSEQ_OUTuS, " + s[kSseqOut2Index]);
  for (int k = 0; k < kPrCodeCount; ++k)
    lines.push_back(prCodeName(k) + ", " + std::to_string(hexLiteralValue(s[kFirstPrCodeIndex + k])));
  return lines;
}

std::string WriteDriveStatusFile(const SaveFileNames& names, const DriveStatusTable& table,
                                 const std::string& interfaceVersionText, ProgramVersion version) {
  return writeWorkingFolderFile(names.AppFolder, DriveStatusFileName(names),
                                DriveStatusFileLines(table, interfaceVersionText, version));
}

}  // namespace quillon
