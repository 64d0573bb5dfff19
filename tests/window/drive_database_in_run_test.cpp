// "DB Load" in the save run: the download runs between the drive information and the trace-back
// data, with its captions, and only when the box is ticked; a refused archive is shown, named
// again in the closing message, and the run still completes.
#include <gtest/gtest.h>

#include <algorithm>

#include "quillon/requests/drive_database_download.h"
#include "tests/requests/download_support.h"
#include "tests/window/window_rig.h"

using namespace quillon;
using namespace quillon_test;
namespace fs = std::filesystem;

namespace {

// A drive with no recorded bank that stores `archive` as its database; the templates are the
// build's, so that a database received and found is also converted with.
struct SaveRunWithDbLoad {
  explicit SaveRunWithDbLoad(Bytes archive, const std::string& commandLine) : rig(setupOf(std::move(archive), commandLine)) {
    rig.window().controls.setObserver([this](const Control& c) {
      if (c.name() == "Label1") label1.push_back(c.caption());
      if (c.name() == "Label1" && c.caption() == "Receiving Drive Database")
        label9ShownAtDownload = rig.window().controls.Label9.visible();
      if (c.name() == "Label10") label10.push_back(c.caption());
      if (c.name() == "Label4") label4.push_back(c.caption());
    });
  }
  static RunSetup setupOf(Bytes archive, const std::string& commandLine) {
    RunSetup setup;
    setup.drive.archive = std::move(archive);
    setup.drive.recordedBanks = {};
    setup.commandLine = commandLine;
    setup.templateFolder = BuiltTemplates();
    return setup;
  }
  void start(bool checked) {
    rig.window().setDbLoad(checked);
    rig.window().clickStart();
  }
  std::size_t requestIndex(const std::string& request) const { return IndexOf(rig.exchange.sent, request); }

  WindowRig rig;
  std::vector<std::string> label1, label10, label4;
  bool label9ShownAtDownload = true;
};

}  // namespace

TEST(DbLoadInTheSaveRun, TickedBoxReceivesAndExtractsBeforeTheTraceBackData) {
  SaveRunWithDbLoad run(drivesim::StoredDatabaseArchive(), "/l");
  run.start(true);
  EXPECT_EQ(run.rig.window().lastOutcome(), RunOutcome::Completed) << run.rig.run().x().ErrorText;
  EXPECT_TRUE(run.rig.messages.shown.empty());
  // Right after the drive information, before the group layout.
  EXPECT_EQ(run.requestIndex("FB"), run.requestIndex("QU2") + 1);
  EXPECT_LT(run.requestIndex("FB"), run.requestIndex("MX1"));
  EXPECT_TRUE(fs::exists(run.rig.appFolder() / "SIM01.00.mdb"));
  EXPECT_TRUE(fs::exists(run.rig.appFolder() / "SIM01.00_RX-Fenn.pdn"));
  EXPECT_FALSE(fs::exists(run.rig.appFolder() / "Temp.lzh"));

  // Captions: the download shows its step with `Label9` hidden, then the trace-back step.
  const auto download = std::find(run.label1.begin(), run.label1.end(), "Receiving Drive Database");
  ASSERT_NE(download, run.label1.end());
  EXPECT_EQ(*std::next(download), "Receiving Trace Back Data");
  EXPECT_FALSE(run.label9ShownAtDownload);
  EXPECT_TRUE(run.rig.window().controls.Label9.visible());
  const std::string last = std::to_string(LastArchiveBlock(static_cast<std::uint32_t>(drivesim::StoredDatabaseArchive().size())));
  EXPECT_NE(std::find(run.label10.begin(), run.label10.end(), last + "/" + last), run.label10.end());
  EXPECT_LE(run.rig.window().controls.shpScale.width(), run.rig.window().controls.shpBox.width());
}

TEST(DbLoadInTheSaveRun, UntickedBoxAsksNothing) {
  SaveRunWithDbLoad run(drivesim::StoredDatabaseArchive(), "/l");
  run.start(false);
  EXPECT_TRUE(run.rig.window().controls.Check1.visible());
  EXPECT_EQ(run.rig.exchange.countOf("FB"), 0u);
  EXPECT_EQ(run.rig.exchange.countOf("FR"), 0u);
  EXPECT_FALSE(fs::exists(run.rig.appFolder() / "SIM01.00.mdb"));
}

// Archives a drive may hold that are refused as a whole: an entry that would land in the
// working folder or carry a save's name, a name twice, a way out of the program folder. The
// refusal is shown while the run goes on, with no box to stop an unattended run; the run
// completes, nothing of the refused archive is anywhere, and the closing message names it.
TEST(DbLoadInTheSaveRun, ARefusedArchiveIsNamedAtTheEndAndLeavesNothing) {
  struct Case {
    std::vector<drivesim::LzhMember> members;
    std::string named;  // what the closing message must hold
  };
  const std::vector<Case> cases{
      {{{"TRBSAVE/x.csv", TextBytes("1,2,3\r\n")}}, "TRBSAVE/x.csv"},
      {{{"TRBSAVE_20260203_090507.lzh", TextBytes("not a save")}}, "TRBSAVE_20260203_090507.lzh"},
      {{{"SIM01.00_RX-Fenn.pdn", TextBytes("first")}, {"SIM01.00_RX-Fenn.pdn", TextBytes("second")}},
       "SIM01.00_RX-Fenn.pdn"},
      {{{"ok.txt", TextBytes("fine")}, {"../escaped.mdb", TextBytes("x")}}, "../escaped.mdb"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.named);
    SaveRunWithDbLoad run(drivesim::StoredLzhArchive(c.members), "");
    run.start(true);
    WindowRig& rig = run.rig;
    ASSERT_EQ(rig.window().lastOutcome(), RunOutcome::Completed) << rig.run().x().ErrorText;
    EXPECT_TRUE(rig.window().controls.Check1.checked());
    EXPECT_TRUE(rig.messages.shown.empty());
    ASSERT_FALSE(run.label4.empty());
    EXPECT_NE(run.label4[0].find(c.named), std::string::npos) << run.label4[0];
    ASSERT_EQ(rig.messages.asked.size(), 1u);
    const std::string& closing = rig.messages.asked[0];
    EXPECT_TRUE(closing.starts_with("Complete\r\nTraceback file location = " + rig.archive().string() + "\r\n\r\nThe drive database archive "))
        << closing;
    EXPECT_NE(closing.find(c.named), std::string::npos) << closing;
    // Nothing of the refused archive anywhere: all or nothing.
    for (const auto& [name, bytes] : rig.archivedFiles()) {
      EXPECT_NE(name, "x.csv");
      EXPECT_EQ(name.find("ok.txt"), std::string::npos);
    }
    for (const auto& entry : fs::directory_iterator(rig.appFolder()))
      EXPECT_TRUE(entry.path() == rig.archive()) << entry.path() << " was not there before";
    EXPECT_FALSE(fs::exists(rig.documents() / "escaped.mdb"));
  }
}
