// The Qt window shows the controls' state and passes the clicks on (runs offscreen).
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <memory>
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <set>

#include "drivesim/simulated_drive.h"
#include "quillon/window/main_window_widget.h"
#include "tests/window/window_rig.h"

namespace {
using namespace quillon;
using quillon_test::WindowRig;
namespace fs = std::filesystem;

// One application for every test, deleted when the tests end and not by the exit handlers:
// by then Qt's own globals may be gone.
class ApplicationEnvironment : public ::testing::Environment {
 public:
  void TearDown() override { app.reset(); }
  std::unique_ptr<QApplication> app;
};
auto* const environment =
    static_cast<ApplicationEnvironment*>(::testing::AddGlobalTestEnvironment(new ApplicationEnvironment));

QApplication& application() {
  static int argc = 1;
  static char name[] = "window_tests";
  static char* argv[] = {name, nullptr};
  if (!environment->app) environment->app = std::make_unique<QApplication>(argc, argv);
  return *environment->app;
}

QString textOf(const MainWindowWidget& widget, const char* name) {
  QWidget* w = widget.widgetFor(name);
  if (auto* label = qobject_cast<QLabel*>(w)) return label->text();
  if (auto* button = qobject_cast<QAbstractButton*>(w)) return button->text();
  return QStringLiteral("<missing %1>").arg(name);
}

TEST(MainWindowWidget, ShowsCaptionsAndStatesAndPassesClicksOn) {
  application();
  WindowRig rig(quillon_test::WithDrive(quillon_test::Ardo(), "/l /f"));
  MainWindow& w = rig.window();
  MainWindowWidget widget(w);
  ASSERT_EQ(rig.startUpFailure, "");
  widget.show();

  EXPECT_EQ(widget.windowTitle(), "Quillon Ver.2.1");
  for (const auto& [name, caption] : std::vector<std::pair<const char*, const char*>>{
           {"cmd_Start", "Start"}, {"cmd_Cancel", "Cancel"}, {"cmd_EXIT", "Exit"}, {"Check1", "DB Load"},
           {"Label3", "Connecting to Drive"}, {"Label1", "Receiving Trace Back Data"},
           {"Label2", "Receiving Setting Parameter"}, {"Label12", "Compress the files"}, {"Label9", "0"},
           {"Label10", " / 0 bank(s)"}})
    EXPECT_EQ(textOf(widget, name), caption) << name;
  EXPECT_TRUE(widget.widgetFor("cmd_Start")->isEnabled());
  EXPECT_FALSE(widget.widgetFor("cmd_Cancel")->isEnabled());
  EXPECT_TRUE(widget.widgetFor("Check1")->isVisible()) << "shown for a command line with /l";
  EXPECT_FALSE(widget.widgetFor("LabelDummy")->isVisible());
  EXPECT_FALSE(widget.widgetFor("shpScale")->isVisible());
  // Start has the keyboard focus (and is the default button), never Exit.
  EXPECT_EQ(widget.focusWidget(), widget.widgetFor("cmd_Start"));
  EXPECT_TRUE(qobject_cast<QPushButton*>(widget.widgetFor("cmd_Start"))->isDefault());

  // The user's tick reaches the state; the run reads it.
  qobject_cast<QCheckBox*>(widget.widgetFor("Check1"))->setChecked(true);
  EXPECT_TRUE(w.controls.Check1.checked());
  qobject_cast<QCheckBox*>(widget.widgetFor("Check1"))->setChecked(false);

  // During the run Cancel has the focus; closing the window asks first, and No lets the run go on.
  const auto answer = rig.driveAnswers();
  rig.exchange.responder = [&](const std::string& request) {
    if (request == "MX1") {
      EXPECT_EQ(widget.focusWidget(), widget.widgetFor("cmd_Cancel"));
      widget.close();
    }
    return answer(request);
  };
  qobject_cast<QPushButton*>(widget.widgetFor("cmd_Start"))->click();
  EXPECT_EQ(rig.messages.asked.front(), "A save is running. Stop it and exit?");
  EXPECT_FALSE(rig.quit);
  EXPECT_EQ(w.lastOutcome(), RunOutcome::Completed) << rig.run().x().ErrorText;
  EXPECT_EQ(widget.focusWidget(), widget.widgetFor("cmd_Cancel")) << "Reset";
  EXPECT_EQ(textOf(widget, "cmd_Cancel"), "Reset");
  EXPECT_TRUE(widget.widgetFor("cmd_Cancel")->isEnabled());
  EXPECT_FALSE(widget.widgetFor("cmd_Start")->isEnabled());
  EXPECT_EQ(textOf(widget, "Label7"), "Done>");
  EXPECT_EQ(textOf(widget, "Label8"), "Skip>");
  EXPECT_EQ(textOf(widget, "Label11"), "DriveType = \"RX-Ardo \"");
  EXPECT_EQ(textOf(widget, "Label10"), " / 8 bank(s)");
  EXPECT_EQ(widget.widgetFor("shpScale")->width(), w.controls.shpBox.width());
  // The closing message stays, whole, in a window the user may resize.
  EXPECT_TRUE(textOf(widget, "LabelClosing").startsWith("Complete\nTraceback file location = "));
  EXPECT_TRUE(widget.widgetFor("LabelClosing")->isVisible());
  EXPECT_GE(widget.height(), widget.layout()->totalHeightForWidth(widget.width()));
  EXPECT_NE(widget.minimumSize(), widget.maximumSize());

  // Screenshot for the README, when asked for.
  if (const char* shot = std::getenv("QUILLON_SCREENSHOT")) widget.grab().save(QString::fromLocal8Bit(shot));

  qobject_cast<QPushButton*>(widget.widgetFor("cmd_Cancel"))->click();
  EXPECT_EQ(widget.focusWidget(), widget.widgetFor("cmd_Start"));
  EXPECT_EQ(textOf(widget, "cmd_Cancel"), "Cancel");
  EXPECT_FALSE(widget.widgetFor("cmd_Cancel")->isEnabled());
  EXPECT_TRUE(widget.widgetFor("cmd_Start")->isEnabled());
  EXPECT_EQ(textOf(widget, "Label7"), "");
  EXPECT_FALSE(widget.widgetFor("shpScale")->isVisible());

  // Closing the window is Exit.
  WindowRig idleRig;
  MainWindowWidget idleWidget(idleRig.window());
  idleWidget.show();
  idleWidget.close();
  EXPECT_TRUE(idleRig.quit);
}

// Two ticked simulated drives saved side by side, one row each: both complete, each archive in
// its own folder; Cancel during the next save ends both rows cancelled, their data kept.
TEST(MainWindowWidget, TickedDrivesSavedSideBySideOneRowEach) {
  application();
  quillon_test::TestFolder folder;
  drivesim::Misbehaviour slow;
  slow.delayMs = 3;  // long enough for Cancel to come mid-way
  std::vector<std::unique_ptr<drivesim::SimulatedDrive>> drives;
  std::vector<DriveChoice> choices;
  for (int number : {1, 2}) {
    drives.push_back(std::make_unique<drivesim::SimulatedDrive>(
        drivesim::DriveProfile{drivesim::PlantDriveOptions(number)}, slow));
    drivesim::DriveEndpoint at;
    at.address = drivesim::PlantDriveAddress(number);
    std::string error;
    ASSERT_TRUE(drives.back()->start(at, error)) << error;
    choices.push_back({at.address, at.address, drives.back()->port()});
  }
  quillon_test::RunRig rig;
  quillon_test::RecordingMessages messages;
  const fs::path documents = folder.path() / "docs";
  MainWindow window(rig.run(), {&messages, [](const fs::path&) { return true; }, [] {}, {}, {},
                                [&](std::vector<PlantDrive> picked) {
                                  PlantPlan plan;
                                  plan.drives = std::move(picked);
                                  plan.documents = documents;
                                  plan.templateFolder = quillon_test::BuiltTemplates();
                                  plan.installRoot = folder.path() / "no-install";
                                  plan.tickIntervalMs = 50;
                                  return plan;
                                }});
  ASSERT_EQ(window.startUp(), "");
  window.startWithDrives(choices);
  MainWindowWidget widget(window);
  widget.show();
  auto* rows = qobject_cast<QTableWidget*>(widget.findChild<QTableWidget*>(QStringLiteral("driveRows")));
  auto* start = qobject_cast<QPushButton*>(widget.widgetFor("cmd_Start"));
  auto* cancel = qobject_cast<QPushButton*>(widget.widgetFor("cmd_Cancel"));
  ASSERT_TRUE(rows);
  const auto cell = [rows](int row, int column) { return rows->item(row, column)->text().toStdString(); };

  start->click();
  ASSERT_EQ(rows->rowCount(), 2);
  std::set<fs::path> folders;
  for (int row = 0; row < 2; ++row) {
    EXPECT_EQ(cell(row, 3), "Completed") << window.driveRows()[row].message;
    EXPECT_EQ(cell(row, 1), "LINE/" + std::to_string(row + 1));
    const fs::path archive = cell(row, 4);
    EXPECT_EQ(archive.extension(), ".lzh");
    EXPECT_TRUE(fs::is_regular_file(archive)) << archive;
    folders.insert(archive.parent_path());
  }
  EXPECT_EQ(folders, (std::set<fs::path>{documents / "Quillon" / "LINE_1", documents / "Quillon" / "LINE_2"}));
  EXPECT_FALSE(widget.widgetFor("Label7")->isVisible()) << "the one-drive step rows make way";

  cancel->click();  // Reset
  EXPECT_EQ(rows->rowCount(), 0);
  // Cancel once both drives have written data: the window turns meanwhile.
  QTimer whenUnderWay;
  QObject::connect(&whenUnderWay, &QTimer::timeout, [&] {
    std::error_code none;
    const auto written = [&](const char* panel) {
      return !fs::is_empty(documents / "Quillon" / panel / "TRBSAVE", none) && !none;
    };
    if (written("LINE_1") && written("LINE_2") && cancel->isEnabled()) cancel->click();
  });
  whenUnderWay.start(10);
  start->click();
  for (int row = 0; row < 2; ++row) {
    EXPECT_EQ(cell(row, 3), "Cancelled");
    EXPECT_TRUE(fs::is_directory(cell(row, 4))) << "the data read so far is kept: " << cell(row, 4);
  }
  EXPECT_EQ(window.lastOutcome(), RunOutcome::Cancelled);
}

}  // namespace
