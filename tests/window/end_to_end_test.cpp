// The quillon program as a user runs it: a headless save run against the simulated drive it
// starts in its own process on 127.0.0.1, the archive checked with lhasa's lha command.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QProcess>
#include <QStringList>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/shell/folders.h"

namespace {
namespace fs = std::filesystem;

struct Finished {
  int exitCode = -1;
  std::string output;
};

Finished runQuillon(const QStringList& arguments) {
  QProcess process;
  process.setProcessChannelMode(QProcess::MergedChannels);
  process.start(QStringLiteral(QUILLON_BINARY_DIR "/quillon/window/quillon"), arguments);
  Finished finished;
  if (!process.waitForFinished(120000)) {
    process.kill();
    process.waitForFinished();
    return finished;
  }
  finished.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  finished.output = process.readAll().toStdString();
  return finished;
}

std::string fileText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<fs::path> entriesOf(const fs::path& folder, const std::string& prefix) {
  std::vector<fs::path> found;
  if (!fs::is_directory(folder)) return found;
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.path().filename().string().rfind(prefix, 0) == 0) found.push_back(entry.path());
  return found;
}

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = fs::temp_directory_path() / ("quillon_e2e_" + std::to_string(::getpid()) + "_" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    platform_shell::DeleteFolder(base_, true);
    fs::create_directories(base_);
  }
  void TearDown() override { platform_shell::DeleteFolder(base_, true); }
  QStringList simulatedRun() const {
    return {"--simulate", "--headless", "--port", "0", "--documents", QString::fromStdString((base_ / "docs").string())};
  }
  fs::path base_;
};

TEST_F(EndToEnd, HeadlessSimulatedRunLeavesADatedArchiveOfCsvFiles) {
  const Finished run = runQuillon(simulatedRun());
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_NE(run.output.find("Connecting to Drive Done>"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("Compress the files Done>"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("Open Folder? No"), std::string::npos) << run.output;

  const fs::path appFolder = base_ / "docs" / "Quillon";
  const std::vector<fs::path> archives = entriesOf(appFolder, "TRBSAVE_");
  ASSERT_EQ(archives.size(), 1u);
  EXPECT_EQ(archives[0].extension(), ".lzh");
  EXPECT_EQ(archives[0].filename().string().size(), std::string("TRBSAVE_20261207_064100.lzh").size());
  EXPECT_FALSE(fs::exists(appFolder / "TRBSAVE")) << "the packed folder is removed";

  // Extract with lhasa's own command, an independent reader.
  const fs::path extracted = base_ / "x";
  fs::create_directories(extracted);
  const int lha = std::system(("cd \"" + extracted.string() + "\" && lha -xq \"" + archives[0].string() + "\"").c_str());
  ASSERT_EQ(lha, 0);
  int dataFiles = 0;
  for (const auto& entry : fs::recursive_directory_iterator(extracted)) {
    const std::string name = entry.path().filename().string();
    if (name.size() < 4 || name.substr(name.size() - 4) != ".csv" || name.rfind("Trb", 0) != 0) continue;
    const std::string text = fileText(entry.path());
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\n') ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << name << " has a bare line feed";
    }
    if (name.find("_Data.csv") != std::string::npos) ++dataFiles;
  }
  const bool workbooks = !entriesOf(extracted, "TRB").empty();
  EXPECT_TRUE(dataFiles > 0 || workbooks) << "every recorded bank is in the archive";
}

TEST_F(EndToEnd, SlashLMovesTheFolderInsteadOfPacking) {
  QStringList arguments = simulatedRun();
  arguments << "/l";
  const Finished run = runQuillon(arguments);
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_NE(run.output.find("Compress the files Skip>"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find(" / Last Fault Only"), std::string::npos) << run.output;
  const std::vector<fs::path> saved = entriesOf(base_ / "docs" / "Quillon", "TRBSAVE_");
  ASSERT_EQ(saved.size(), 1u);
  EXPECT_TRUE(fs::is_directory(saved[0]));
}

TEST_F(EndToEnd, HelpAndUsageErrors) {
  const Finished help = runQuillon({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.output.find("--headless"), std::string::npos);
  EXPECT_NE(help.output.find("Exit status"), std::string::npos);
  EXPECT_EQ(runQuillon({"--bogus"}).exitCode, 64);
  EXPECT_EQ(runQuillon({"--codepage", "no-such-code-page", "--headless"}).exitCode, 64);
}

}  // namespace
