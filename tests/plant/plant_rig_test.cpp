// The plant itself: simulated drives listen on their own addresses inside it, the program saves
// from one of them from the hub, and nothing of the plant stays behind.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "tests/plant/plant_test_support.h"

namespace {
namespace fs = std::filesystem;
using namespace quillon_test;

TEST(PlantRig, ADriveOnItsOwnAddressIsSavedFromTheHubAndThePlantIsRemovedAfterwards) {
  std::vector<std::string> made;
  {
    PlantRig rig(2);
    QUILLON_REQUIRE_PLANT(rig);
    made = {rig.hub(), rig.driveNamespace(0), rig.driveNamespace(1)};
    const auto first = rig.startDrive(0, PlantDrive("RX-Brin", "LINE/1"));
    const auto second = rig.startDrive(1, PlantDrive("RX-Fenn", "LINE/2"));
    const ScratchFolder documents;
    const CommandResult save =
        rig.runInHub({QuillonPath(), "--headless", "--drive", PlantRig::DriveAddress(1), "--documents", documents.path()});
    EXPECT_EQ(save.status, 0) << save.output;
    EXPECT_EQ(SavesIn(documents.path()).size(), 1u) << save.output;
    EXPECT_GT(second->requestCount(), 0u);
    EXPECT_EQ(first->requestCount(), 0u) << "a directed save asks only its drive";
  }
  for (const std::string& ns : made) EXPECT_FALSE(fs::exists("/run/netns/" + ns)) << ns;
}

}  // namespace
