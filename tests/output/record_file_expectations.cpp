#include "tests/output/record_file_expectations.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>

namespace quillon_test {
namespace fs = std::filesystem;

namespace {

std::string stamp(const drivesim::TimeStamp& t) {
  char text[40];
  std::snprintf(text, sizeof text, "%d/%02d/%02d %02d:%02d:%02d", 2000 + t.year, t.month, t.day, t.hour, t.minute,
                t.second);
  return text;
}
fs::path fileOf(const SavedRecordFiles& saved, const std::string& prefix) {
  return saved.folder / (prefix + saved.panel + ".csv");
}

}  // namespace

std::string FileText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> FileLines(const fs::path& file) { return CrlfLines(FileText(file)); }

std::vector<std::string> CrlfLines(const std::string& all) {
  std::vector<std::string> lines;
  for (std::size_t from = 0; from < all.size();) {
    const std::size_t end = all.find("\r\n", from);
    if (end == std::string::npos) {
      lines.push_back("unterminated: " + all.substr(from));
      break;
    }
    lines.push_back(all.substr(from, end - from));
    from = end + 2;
  }
  return lines;
}

void ExpectSetpointFile(const SavedRecordFiles& saved, const drivesim::RecordImages& drive, std::int64_t start,
                        std::int64_t lines) {
  const auto got = FileLines(fileOf(saved, "Set_Sram_"));
  ASSERT_EQ(static_cast<std::int64_t>(got.size()), lines);
  for (std::int64_t i = 1; i <= lines; ++i) {
    const std::int64_t partner = i % 2 == 1 ? start + 2 * i : start + 2 * (i - 2);  // pairs swapped
    char label[24];
    std::snprintf(label, sizeof label, "%04llX", static_cast<unsigned long long>(start + 2 * (i - 1)));
    ASSERT_EQ(got[i - 1], std::to_string(i) + ",0x" + label + "," + std::to_string(drive.memoryWord(partner)) + ",")
        << i;
  }
}

void ExpectRecordAndStatusFiles(const SavedRecordFiles& saved, const drivesim::RecordImages& drive) {
  const auto trouble = FileLines(fileOf(saved, "TroubleRecord_"));
  ASSERT_EQ(trouble.size(), 31u);
  for (int r = 1; r <= 31; ++r)
    EXPECT_EQ(trouble[r - 1], std::to_string(r) + "," + stamp(drive.troubleTime(r)) + "," +
                                  std::to_string(drive.troubleCode(r, 0)) + "," + std::to_string(drive.troubleCode(r, 1)));
  const auto counts = FileLines(fileOf(saved, "EventCount_"));
  ASSERT_EQ(counts.size(), 15u);
  for (int e = 1; e <= 15; ++e)
    EXPECT_EQ(counts[e - 1], std::to_string(e) + "," + stamp(drive.eventTime(e)) + "," + std::to_string(drive.eventCount(e)));

  const auto status = FileLines(fileOf(saved, "DriveSts_"));
  ASSERT_EQ(status.size(), 15u);
  char word[2][8];
  for (int k = 0; k < 2; ++k) std::snprintf(word[k], sizeof word[k], "%04X", static_cast<unsigned>(drive.sseqOutput(k)));
  EXPECT_EQ(status[0], "Quillon Ver, 2.1");
  EXPECT_EQ(status[1], "Drive Interface Ver, " + saved.interfaceVersionText);
  EXPECT_EQ(status[2], "Drive Time, " + stamp(drive.clock()));
  EXPECT_EQ(status[3], std::string("SSEQ_OUT1, ") + word[0]);
  EXPECT_EQ(status[4], std::string("SSEQ_OUTuS, ") + word[1]);
  for (int k = 0; k < 10; ++k)
    EXPECT_EQ(status[5 + k], "PR_CODE0" + std::to_string(k) + ", " + std::to_string(static_cast<std::int16_t>(drive.prCode(k))));
}

void ExpectEventLogFile(const SavedRecordFiles& saved, const drivesim::RecordImages& drive) {
  const auto events = FileLines(fileOf(saved, "Evtlg_"));
  ASSERT_EQ(events.size(), 64u);
  for (int k = 1; k <= 64; ++k) {
    const std::int64_t base = drivesim::kEventLogStart + 16 * (k - 1);
    std::string expected = std::to_string(k) + "," + stamp(drive.eventLogTime(k - 1));
    for (int n = 0; n < 5; ++n) expected += "," + std::to_string(drive.memoryWord(base + 2 * n));
    EXPECT_EQ(events[k - 1], expected) << k;
  }
}

}  // namespace quillon_test
