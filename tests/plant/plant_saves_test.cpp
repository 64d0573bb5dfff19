// Several drives of a plant saved at once by the program from the hub: each into its own
// folder, a silent one ending alone with its timeout while the others complete.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/plant/plant_test_support.h"

namespace {
namespace fs = std::filesystem;
using namespace quillon_test;

TEST(PlantSaves, ThreeDrivesAtOnceTheSilentOneNamedWithItsTimeout) {
  PlantRig rig(3);
  QUILLON_REQUIRE_PLANT(rig);
  drivesim::Misbehaviour silent;
  silent.silent = true;
  const auto first = rig.startDrive(0, PlantDrive("RX-Brin", "LINE/1"));
  const auto second = rig.startDrive(1, PlantDrive("RX-Fenn", "LINE/2"), silent);
  const auto third = rig.startDrive(2, PlantDrive("RX-Jarn", "LINE/3"));
  const ScratchFolder documents;
  const CommandResult save = rig.runInHub({QuillonPath(), "--headless", "--drive", PlantRig::DriveAddress(0), "--drive",
                                           PlantRig::DriveAddress(1), "--drive", PlantRig::DriveAddress(2),
                                           "--documents", documents.path()},
                                          std::chrono::seconds(120));
  EXPECT_EQ(save.status, 1) << save.output;
  EXPECT_NE(save.output.find("[192.0.2.11 LINE/1] Compress the files Done>"), std::string::npos) << save.output;
  EXPECT_NE(save.output.find("[192.0.2.12] quillon: Timeout: no answer from 192.0.2.12"), std::string::npos) << save.output;
  const fs::path quillon = fs::path(documents.path()) / "Quillon";
  EXPECT_TRUE(SavesIn(documents.path()).empty()) << "nothing in the one-drive place";
  EXPECT_FALSE(fs::exists(quillon / "LINE_2"));
  for (const char* folder : {"LINE_1", "LINE_3"}) {
    std::size_t archives = 0;
    for (const auto& entry : fs::directory_iterator(quillon / folder))
      archives += entry.path().extension() == ".lzh" ? 1 : 0;
    EXPECT_EQ(archives, 1u) << folder << "\n" << save.output;
  }
}

}  // namespace
