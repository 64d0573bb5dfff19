// quillon scan: on a plant it finds drives of several types by broadcast with who they are;
// on loopback, asked at one address, a drive that falls silent after "QT" is listed with a note.
#include <gtest/gtest.h>

#include "tests/plant/plant_test_support.h"

namespace {
using namespace quillon_test;

drivesim::DriveOptions withBanks(drivesim::DriveOptions options, std::vector<int> banks) {
  options.recordedBanks = std::move(banks);
  return options;
}

TEST(Scan, FindsDrivesOfSeveralTypesWithWhoTheyAre) {
  PlantRig rig(3);
  QUILLON_REQUIRE_PLANT(rig);
  const auto brin = rig.startDrive(0, withBanks(PlantDrive("RX-Brin", "PUMP 1"), {1}));
  const auto fenn = rig.startDrive(1, PlantDrive("RX-Fenn", "FAN 2"));
  const auto efta = rig.startDrive(2, withBanks(PlantDrive("RX-Efta", "MILL 3"), {}));
  const ScratchFolder documents;
  const CommandResult scan =
      rig.runInHub({QuillonPath(), "scan", "--json", "--wait", "0.5", "--documents", documents.path()});
  EXPECT_EQ(scan.status, 0) << scan.output;
  for (const char* row :
       {R"({"address": "192.0.2.11", "port": 22359, "driveType": "RX-Brin", "softwareVersion": "SIM01.00")",
        R"("panelName": "PUMP 1", "orderNumber": )", R"("recordedBanks": [1], "driveDatabase": ")",
        R"({"address": "192.0.2.12", "port": 22359, "driveType": "RX-Fenn")", R"("recordedBanks": [0, 2, 5])",
        R"({"address": "192.0.2.13", "port": 22359, "driveType": "RX-Efta")", R"("panelName": "MILL 3")",
        R"("recordedBanks": [])"})
    EXPECT_NE(scan.output.find(row), std::string::npos) << row << "\n" << scan.output;
  EXPECT_EQ(scan.output.find("\"note\""), std::string::npos) << scan.output;
  // Only identity and bank times were asked.
  for (const auto* drive : {brin.get(), fenn.get(), efta.get()})
    for (const std::string& command : CommandsSentTo(*drive))
      EXPECT_TRUE(command.size() <= 3 || command.starts_with("MY1")) << command;
}

TEST(Scan, ADirectedScanOnLoopbackListsADriveThatFellSilentWithANote) {
  drivesim::Misbehaviour quiet;
  quiet.silentAfter = 1;  // "QT" only
  drivesim::SimulatedDrive silent{drivesim::DriveProfile(), quiet};
  std::string why;
  ASSERT_TRUE(silent.start({}, why)) << why;
  const ScratchFolder documents;
  const std::vector<std::string> scan{QuillonPath(), "scan", "--drive", "127.0.0.1", "--drive-port",
                                      std::to_string(silent.port()), "--wait", "0.3", "--documents", documents.path()};
  const CommandResult found = RunCommand(scan, std::chrono::seconds(60));
  EXPECT_EQ(found.status, 0) << found.output;
  EXPECT_NE(found.output.find("127.0.0.1:" + std::to_string(silent.port())), std::string::npos) << found.output;
  EXPECT_NE(found.output.find("answered \"QT\", then: Timeout: no answer from 127.0.0.1"), std::string::npos)
      << found.output;
  silent.stop();
  const CommandResult none = RunCommand(scan, std::chrono::seconds(60));
  EXPECT_EQ(none.status, 1) << none.output;
  EXPECT_NE(none.output.find("No drive answered \"QT\" within 0.3 s. Asked:\n  127.0.0.1"), std::string::npos)
      << none.output;
}

}  // namespace
