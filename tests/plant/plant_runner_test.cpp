// Several simulated drives on loopback addresses of their own, saved at once by the plant
// runner; each save compared with the same drive's single save.
#include "quillon/plant/plant_runner.h"

#include <gtest/gtest.h>

#include <QTimer>
#include <regex>

#include "drivesim/simulated_drive.h"
#include "platform/archive/lzh_reader.h"
#include "quillon/live_exchange/velkor_exchange.h"
#include "quillon/plant/plant_table.h"
#include "tests/live_exchange/live_exchange_rig.h"
#include "tests/run/run_rig.h"

namespace {
namespace fs = std::filesystem;
using namespace quillon;
using quillon_test::TestFolder;

constexpr int kShortTickMs = 50;  // a silent drive times out after half a second

struct Plant {
  std::vector<std::unique_ptr<drivesim::SimulatedDrive>> drives;
  std::vector<PlantDrive> addresses;
};

// Drives 1..options.size() at 127.0.0.11 and up, each on a free port.
Plant startPlant(const std::vector<std::pair<drivesim::DriveOptions, drivesim::Misbehaviour>>& options) {
  Plant plant;
  for (std::size_t i = 0; i < options.size(); ++i) {
    auto drive = std::make_unique<drivesim::SimulatedDrive>(drivesim::DriveProfile(options[i].first), options[i].second);
    drivesim::DriveEndpoint endpoint;
    endpoint.address = drivesim::PlantDriveAddress(static_cast<int>(i) + 1);
    std::string error;
    EXPECT_TRUE(drive->start(endpoint, error)) << error;
    plant.addresses.push_back({endpoint.address, drive->port()});
    plant.drives.push_back(std::move(drive));
  }
  return plant;
}

PlantPlan planFor(const Plant& plant, const fs::path& folder) {
  PlantPlan plan;
  plan.drives = plant.addresses;
  plan.documents = folder / "docs";
  plan.templateFolder = quillon_test::BuiltTemplates();
  plan.installRoot = folder / "no-install";
  plan.tickIntervalMs = kShortTickMs;
  return plan;
}

// The drive saved alone, the way the program saves one drive: into documents/Quillon.
fs::path singleSave(const PlantDrive& drive, const fs::path& documents) {
  std::string error;
  std::shared_ptr<platform::automation::Control> control = CreateVelkorControl(error);
  EXPECT_TRUE(control) << error;
  VelkorExchange exchange(std::move(control), {}, kShortTickMs);
  EXPECT_EQ(exchange.configureAndOpen(drive.address, drive.port, 0), "");
  RunContext run(exchange, RunFolders::InDocuments(documents, quillon_test::BuiltTemplates(), documents / "no-install"),
                 RunSwitches::Of(""));
  EXPECT_EQ(RunSaveSequence(run, false), RunOutcome::Completed) << run.x().ErrorText;
  return run.saveLocation;
}

// The archive's files by name, the save's date and time in a name left out: two saves made
// seconds apart are the same save.
std::map<std::string, std::string> archiveFiles(const fs::path& archive, const fs::path& into) {
  EXPECT_EQ(platform::archive::ExtractArchiveFile(archive, into), "") << archive;
  static const std::regex dated("_20[0-9]{6}_[0-9]{6}");
  std::map<std::string, std::string> files;
  for (auto& [name, bytes] : quillon_test::FilesBelow(into)) files[std::regex_replace(name, dated, "_DATED")] = bytes;
  return files;
}

class NullEvents : public PlantEvents {};

TEST(PlantRunner, DrivesSavedAtOnceEachIntoItsFolderAsItsSingleSave) {
  quillon_test::EnsureCoreApplication();
  TestFolder folder;
  const Plant plant = startPlant({{drivesim::PlantDriveOptions(1), {}},
                                  {drivesim::PlantDriveOptions(2), {}},
                                  {drivesim::PlantDriveOptions(3), {}}});
  NullEvents events;
  const std::vector<DriveResult> results = RunPlantSaves(planFor(plant, folder.path()), events);
  ASSERT_EQ(results.size(), 3u);
  EXPECT_EQ(PlantExitStatus(results), 0);
  for (std::size_t i = 0; i < results.size(); ++i) {
    const DriveResult& result = results[i];
    SCOPED_TRACE(result.drive.address);
    ASSERT_EQ(result.outcome, RunOutcome::Completed) << result.message;
    EXPECT_EQ(result.panelName, "LINE/" + std::to_string(i + 1));
    EXPECT_EQ(result.programFolder, folder.path() / "docs" / "Quillon" / ("LINE_" + std::to_string(i + 1)));
    EXPECT_EQ(result.location.parent_path(), result.programFolder);
    const fs::path alone = singleSave(result.drive, folder.path() / ("alone" + std::to_string(i)));
    const auto files = archiveFiles(result.location, folder.path() / ("plant-files" + std::to_string(i)));
    EXPECT_GE(files.size(), 4u);
    const auto aloneFiles = archiveFiles(alone, folder.path() / ("alone-files" + std::to_string(i)));
    for (const auto& [name, bytes] : aloneFiles) {
      const auto found = files.find(name);
      EXPECT_TRUE(found != files.end() && found->second == bytes) << name;
    }
    EXPECT_EQ(files.size(), aloneFiles.size());
  }
}

TEST(PlantRunner, SilentDriveEndsAloneWithItsTimeoutAndSharedNamesGetTheAddress) {
  quillon_test::EnsureCoreApplication();
  TestFolder folder;
  drivesim::Misbehaviour silent;
  silent.silent = true;
  const Plant plant = startPlant({{drivesim::PlantDriveOptions(1), {}},
                                  {drivesim::PlantDriveOptions(2), silent},
                                  {drivesim::PlantDriveOptions(1), {}}});
  NullEvents events;
  const std::vector<DriveResult> results = RunPlantSaves(planFor(plant, folder.path()), events);
  ASSERT_EQ(results.size(), 3u);
  EXPECT_EQ(PlantExitStatus(results), 1);
  EXPECT_EQ(results[1].outcome, RunOutcome::Failed);
  EXPECT_NE(results[1].message.find("no answer from " + plant.addresses[1].address), std::string::npos)
      << results[1].message;
  EXPECT_TRUE(results[1].location.empty());
  const fs::path quillon = folder.path() / "docs" / "Quillon";
  for (const std::size_t i : {0u, 2u}) {
    EXPECT_EQ(results[i].outcome, RunOutcome::Completed) << results[i].message;
    EXPECT_EQ(results[i].programFolder, quillon / ("LINE_1_" + plant.addresses[i].address));
    EXPECT_TRUE(fs::is_regular_file(results[i].location)) << results[i].location;
  }
  const std::string table = PlantResultTable(results);
  EXPECT_NE(table.find("Error"), std::string::npos) << table;
  EXPECT_NE(table.find(results[0].location.string()), std::string::npos) << table;
}

TEST(PlantRunner, CancelAllEndsEveryRunFromAnotherThread) {
  quillon_test::EnsureCoreApplication();
  TestFolder folder;
  drivesim::Misbehaviour late;
  late.delayMs = 20;  // the runs are still reading when Cancel comes
  const Plant plant = startPlant({{drivesim::PlantDriveOptions(1), late}, {drivesim::PlantDriveOptions(2), late}});
  NullEvents events;
  PlantRunner runner(planFor(plant, folder.path()), events);
  QTimer::singleShot(1500, [&runner] { runner.cancelAll(); });
  const std::vector<DriveResult> results = runner.run();
  EXPECT_EQ(PlantExitStatus(results), 1);
  for (const DriveResult& result : results) {
    EXPECT_EQ(result.outcome, RunOutcome::Cancelled) << result.drive.address << " " << result.message;
    EXPECT_TRUE(result.location.empty() || fs::exists(result.location)) << result.location;
  }
}

}  // namespace
