#include "quillon/output/drive_status_file.h"

#include <cstdint>
#include <cstdio>

#include "quillon/output/records_file_writer.h"
#include "quillon/requests/exchange.h"

namespace quillon {

namespace {

std::string prCodeName(int k) {
  char text[16];
  std::snprintf(text, sizeof text, "PR_CODE%02d", k);
  return text;
}

}  // namespace

std::string DriveStatusFileName(const std::string& SafePanelName) {
  return "DriveSts_" + PanelNameForFiles(SafePanelName) + ".csv";
}

int hexLiteralValue(const std::string& text) {
  if (text.size() > 8) return 0;
  const std::optional<std::uint64_t> value = HexDigitsValue(text);
  if (!value) return 0;
  if (text.size() <= 4) return static_cast<std::int16_t>(*value);
  return static_cast<int>(static_cast<std::uint32_t>(*value));
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

std::string WriteDriveStatusFile(const std::filesystem::path& workingFolder, const std::string& SafePanelName,
                                 const DriveStatusTable& table, const std::string& interfaceVersionText,
                                 ProgramVersion version, const platform::shell::CodePage& codePage) {
  return writeWorkingFolderFile(workingFolder, DriveStatusFileName(SafePanelName),
                                DriveStatusFileLines(table, interfaceVersionText, version), codePage);
}

}  // namespace quillon
