// The save run's record steps against the simulated drive's record images: every line of every
// file is checked against the drive's own data, for a drive type with an event log and one without.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "drivesim/record_images.h"
#include "quillon/output/record_steps.h"
#include "tests/records/scripted_exchange.h"

using namespace quillon;
using records_test::ScriptedExchange;
using records_test::ScriptedReply;
namespace fs = std::filesystem;

namespace {

ScriptedReply bytes(std::vector<std::uint8_t> b) { return ScriptedReply{{}, std::move(b), {}}; }

// Answers the record commands the way the simulated drive does.
ScriptedReply simulatedReply(const drivesim::RecordImages& drive, const std::string& request) {
  if (request.rfind("LP", 0) == 0 || request.rfind("Lp", 0) == 0)
    return bytes(drive.memoryBlockReply(std::strtoll(request.substr(2, request.size() - 3).c_str(), nullptr, 16)));
  if (request.rfind("MY300", 0) == 0) return bytes(drive.troubleRecordReply(std::stoi(request.substr(5), nullptr, 16)));
  if (request == "EV1") return bytes(drive.eventCountsReply(0));
  if (request == "EV2") return bytes(drive.eventCountsReply(8));
  if (request.rfind("EVT", 0) == 0) return bytes(drive.eventTimesReply(std::stoi(request.substr(3), nullptr, 16)));
  if (request == "J") return ScriptedReply{drive.clockReply(), {}, {}};
  if (request == "ZS") return bytes(drive.sseqOutputsReply());
  if (request == "SP") return bytes(drive.prCodesReply());
  return ScriptedReply{{}, {}, std::string("unexpected request " + request)};
}

std::vector<std::string> fileLines(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  const std::string all = text.str();
  std::vector<std::string> lines;
  std::size_t from = 0;
  while (from < all.size()) {
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

std::string two(int v) {
  char t[8];
  std::snprintf(t, sizeof t, "%02d", v % 100);
  return t;
}
std::string lead(int v) { return (v < 10 ? "0" : "") + std::to_string(v); }
std::string stamp(const drivesim::TimeStamp& t) {
  return std::to_string(2000 + t.year) + "/" + lead(t.month) + "/" + lead(t.day) + " " + lead(t.hour) + ":" +
         lead(t.minute) + ":" + lead(t.second);
}
std::string hex4(unsigned v) {
  char t[8];
  std::snprintf(t, sizeof t, "%04X", v);
  return t;
}

struct SimulatedSave {
  fs::path app;
  ScriptedExchange exchange;
  SimulatedSave() {
    std::string pattern = (fs::temp_directory_path() / "records-sim-XXXXXX").string();
    app = mkdtemp(pattern.data());
  }
  ~SimulatedSave() {
    std::error_code ignored;
    fs::remove_all(app, ignored);
  }

  void run(const drivesim::RecordImages& drive, int level, const std::string& type) {
    exchange.responder = [&](const std::string& request) { return simulatedReply(drive, request); };
    MemoryTables memory;
    RecordSteps steps(exchange, memory,
                      RecordSteps::RunView{[&] { return SaveFileNames{app, "Sim Panel "}; }, [&] { return level; },
                                           [&] { return type; }, [] { return std::string("0601.03"); },
                                           ProgramVersion{2, 1}});
    // In the save run's order: records after the banks, then the memory, then the status.
    steps.readTroubleRecordsAndEventCounts();
    memory.ranges = chooseMemoryRanges(level, type);
    resizeSetpointWords(memory);
    steps.readSetpointMemory();
    steps.writeSetpointAndEventLogFiles();
    steps.readDriveStatus();
    exchange.responder = nullptr;
  }
  fs::path file(const std::string& name) const { return app / "TRBSAVE" / name; }
};

void expectSetpointFile(const SimulatedSave& save, const drivesim::RecordImages& drive, std::int64_t start,
                        std::int64_t lines) {
  const auto got = fileLines(save.file("Set_Sram_Sim Panel.csv"));
  ASSERT_EQ(static_cast<std::int64_t>(got.size()), lines);
  for (std::int64_t i = 1; i <= lines; ++i) {
    const std::int64_t partner = i % 2 == 1 ? start + 2 * i : start + 2 * (i - 2);  // pairs swapped
    char label[24];
    std::snprintf(label, sizeof label, "%04llX", static_cast<unsigned long long>(start + 2 * (i - 1)));
    ASSERT_EQ(got[i - 1], std::to_string(i) + ",0x" + label + "," + std::to_string(drive.memoryWord(partner)) + ",")
        << i;
  }
}

void expectRecordAndStatusFiles(const SimulatedSave& save, const drivesim::RecordImages& drive) {
  const auto trouble = fileLines(save.file("TroubleRecord_Sim Panel.csv"));
  ASSERT_EQ(trouble.size(), 31u);
  for (int r = 1; r <= 31; ++r)
    EXPECT_EQ(trouble[r - 1], std::to_string(r) + "," + stamp(drive.troubleTime(r)) + "," +
                                  std::to_string(drive.troubleCode(r, 0)) + "," + std::to_string(drive.troubleCode(r, 1)));
  const auto counts = fileLines(save.file("EventCount_Sim Panel.csv"));
  ASSERT_EQ(counts.size(), 15u);
  for (int e = 1; e <= 15; ++e)
    EXPECT_EQ(counts[e - 1], std::to_string(e) + "," + stamp(drive.eventTime(e)) + "," + std::to_string(drive.eventCount(e)));

  const auto status = fileLines(save.file("DriveSts_Sim Panel.csv"));
  ASSERT_EQ(status.size(), 15u);
  const drivesim::TimeStamp c = drive.clock();
  EXPECT_EQ(status[0], "Quillon Ver, 2.1");
  EXPECT_EQ(status[1], "Drive Interface Ver, 0601.03");
  EXPECT_EQ(status[2], "Drive Time, " + std::to_string(2000 + c.year) + "/" + two(c.month) + "/" + two(c.day) + " " +
                           two(c.hour) + ":" + two(c.minute) + ":" + two(c.second));
  EXPECT_EQ(status[3], "SSEQ_OUT1, " + hex4(drive.sseqOutput(0)));
  EXPECT_EQ(status[4], "SSEQ_OUTuS, " + hex4(drive.sseqOutput(1)));
  for (int k = 0; k < 10; ++k)
    EXPECT_EQ(status[5 + k], "PR_CODE" + two(k) + ", " + std::to_string(static_cast<std::int16_t>(drive.prCode(k))));
}

}  // namespace

TEST(SimulatedDriveRecords, DriveWithEventLog) {
  const drivesim::RecordImages drive("RX-Fenn");
  SimulatedSave save;
  save.run(drive, 6, "RX-Fenn ");
  EXPECT_FALSE(save.exchange.state().AbortFlag) << save.exchange.state().ErrorText;
  EXPECT_EQ(save.exchange.sent.size(), 32u + 2u + 4u + 274u + 18u + 3u);

  expectSetpointFile(save, drive, 0x24059000, 8192);
  expectRecordAndStatusFiles(save, drive);

  const auto events = fileLines(save.file("Evtlg_Sim Panel.csv"));
  ASSERT_EQ(events.size(), 64u);
  for (int k = 1; k <= 64; ++k) {
    const std::int64_t base = drivesim::kEventLogStart + 16 * (k - 1);
    std::string expected = std::to_string(k) + "," + stamp(drive.eventLogTime(k - 1));
    for (int n = 0; n < 5; ++n) expected += "," + std::to_string(drive.memoryWord(base + 2 * n));
    EXPECT_EQ(events[k - 1], expected);
  }
}

TEST(SimulatedDriveRecords, DriveWithoutEventLog) {
  const drivesim::RecordImages drive("RX-Ardo");
  SimulatedSave save;
  save.run(drive, 5, "RX-Ardo");
  EXPECT_FALSE(save.exchange.state().AbortFlag) << save.exchange.state().ErrorText;
  EXPECT_EQ(save.exchange.sent.size(), 32u + 2u + 4u + 103u + 3u);
  expectSetpointFile(save, drive, 0, 3072);
  expectRecordAndStatusFiles(save, drive);
  EXPECT_FALSE(fs::exists(save.file("Evtlg_Sim Panel.csv")));
}
