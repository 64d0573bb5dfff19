// The save run's record steps against the simulated drive's record images: every line of every
// file is checked against the drive's own data, for a drive type with an event log and one without.
#include <gtest/gtest.h>

#include <filesystem>

#include "quillon/requests/memory_ranges.h"
#include "quillon/run/save_sequence.h"
#include "tests/output/record_file_expectations.h"
#include "tests/run/run_rig.h"

using namespace quillon;

TEST(SimulatedDriveRecords, DrivesWithAndWithoutEventLog) {
  struct Case {
    std::string type;  // as the drive reports it
    int level;
    std::size_t memoryBlocks, eventLogRequests;
    std::int64_t setpointStart, setpointLines;
  };
  for (const Case& c : {Case{"RX-Fenn ", 6, 274, 18, 0x24059000, 8192}, Case{"RX-Ardo", 5, 103, 0, 0, 3072}}) {
    SCOPED_TRACE(c.type);
    drivesim::DriveOptions options;
    options.driveType = c.type.substr(0, 7);
    options.interfaceLevel = c.level;
    quillon_test::RunRig rig({options, "", {}});
    const drivesim::RecordImages& drive = rig.drive().records();
    RunContext& run = rig.run();
    run.identity.InterfaceLevel = static_cast<std::int16_t>(c.level);
    run.identity.DriveType = c.type;
    run.identity.InterfaceVersionText = "0601.03";
    run.SafePanelName = "Sim Panel ";
    // In the save run's order: records after the banks, then the memory, then the status.
    ReadTroubleRecords(run);
    run.memory.ranges = chooseMemoryRanges(c.level, c.type);
    ReadSettingParameters(run);
    WriteSettingFiles(run);
    ReadDriveStatus(run);
    EXPECT_FALSE(rig.exchange.state().AbortFlag) << rig.exchange.state().ErrorText;
    EXPECT_EQ(rig.exchange.sent.size(), 32u + 2u + 4u + c.memoryBlocks + c.eventLogRequests + 3u);

    const quillon_test::SavedRecordFiles saved{rig.working(), "Sim Panel", "0601.03"};
    quillon_test::ExpectSetpointFile(saved, drive, c.setpointStart, c.setpointLines);
    quillon_test::ExpectRecordAndStatusFiles(saved, drive);
    if (c.eventLogRequests > 0) {
      quillon_test::ExpectEventLogFile(saved, drive);
    } else {
      EXPECT_FALSE(std::filesystem::exists(rig.working() / "Evtlg_Sim Panel.csv"));
    }
  }
}
