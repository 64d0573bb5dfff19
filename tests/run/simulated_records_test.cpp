// The save run's record steps against the simulated drive's record images: every line of every
// file is checked against the drive's own data, for a drive type with an event log and one without.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "drivesim/record_images.h"
#include "quillon/requests/memory_ranges.h"
#include "quillon/run/save_sequence.h"
#include "tests/output/record_file_expectations.h"
#include "tests/run/run_rig.h"

using namespace quillon;
using quillon_test::ScriptedExchange;
using quillon_test::ScriptedReply;
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

struct SimulatedSave {
  quillon_test::RunRig rig;
  ScriptedExchange& exchange = rig.exchange;

  void run(const drivesim::RecordImages& drive, int level, const std::string& type) {
    exchange.responder = [&](const std::string& request) { return simulatedReply(drive, request); };
    RunContext& run = rig.run();
    run.identity.InterfaceLevel = static_cast<std::int16_t>(level);
    run.identity.DriveType = type;
    run.identity.InterfaceVersionText = "0601.03";
    run.SafePanelName = "Sim Panel ";
    // In the save run's order: records after the banks, then the memory, then the status.
    ReadTroubleRecords(run);
    run.memory.ranges = chooseMemoryRanges(level, type);
    ReadSettingParameters(run);
    WriteSettingFiles(run);
    ReadDriveStatus(run);
    exchange.responder = nullptr;
  }
  fs::path file(const std::string& name) const { return rig.working() / name; }
  quillon_test::SavedRecordFiles saved() const { return {rig.working(), "Sim Panel", "0601.03"}; }
};

}  // namespace

TEST(SimulatedDriveRecords, DriveWithEventLog) {
  const drivesim::RecordImages drive("RX-Fenn");
  SimulatedSave save;
  save.run(drive, 6, "RX-Fenn ");
  EXPECT_FALSE(save.exchange.state().AbortFlag) << save.exchange.state().ErrorText;
  EXPECT_EQ(save.exchange.sent.size(), 32u + 2u + 4u + 274u + 18u + 3u);

  quillon_test::ExpectSetpointFile(save.saved(), drive, 0x24059000, 8192);
  quillon_test::ExpectRecordAndStatusFiles(save.saved(), drive);
  quillon_test::ExpectEventLogFile(save.saved(), drive);
}

TEST(SimulatedDriveRecords, DriveWithoutEventLog) {
  const drivesim::RecordImages drive("RX-Ardo");
  SimulatedSave save;
  save.run(drive, 5, "RX-Ardo");
  EXPECT_FALSE(save.exchange.state().AbortFlag) << save.exchange.state().ErrorText;
  EXPECT_EQ(save.exchange.sent.size(), 32u + 2u + 4u + 103u + 3u);
  quillon_test::ExpectSetpointFile(save.saved(), drive, 0, 3072);
  quillon_test::ExpectRecordAndStatusFiles(save.saved(), drive);
  EXPECT_FALSE(fs::exists(save.file("Evtlg_Sim Panel.csv")));
}
