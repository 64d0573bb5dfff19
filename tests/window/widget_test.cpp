// The Qt window shows the controls' state and passes the clicks on (runs offscreen).
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <cstdlib>
#include <filesystem>

#include "platform/shell/folders.h"
#include "quillon/window/main_window.h"
#include "quillon/window/main_window_widget.h"
#include "scripted_drive.h"

namespace {
namespace fs = std::filesystem;
using namespace quillon;
using quillon_test::ScriptedDrive;
using quillon_test::ScriptedSteps;

class NoMessages : public platform_shell::MessageBoxes {
 public:
  void showMessage(const std::string&) override {}
  bool askYesNo(const std::string&) override { return false; }
};

QApplication& application() {
  static int argc = 1;
  static char name[] = "window_tests";
  static char* argv[] = {name, nullptr};
  static QApplication app(argc, argv);
  return app;
}

QString textOf(const MainWindowWidget& widget, const char* name) {
  QWidget* w = widget.widgetFor(name);
  if (auto* label = qobject_cast<QLabel*>(w)) return label->text();
  if (auto* button = qobject_cast<QAbstractButton*>(w)) return button->text();
  return QStringLiteral("<missing %1>").arg(name);
}

TEST(MainWindowWidget, ShowsCaptionsAndStatesAndPassesClicksOn) {
  application();
  const fs::path documents = fs::temp_directory_path() / ("quillon_widget_" + std::to_string(::getpid()));
  platform_shell::DeleteFolder(documents, true);

  ScriptedDrive drive;
  std::unique_ptr<MainWindow> window;
  ScriptedSteps steps(drive, {[&] { return window->controls.shpBox.width(); },
                              [&] { return window->controls.shpScale.width(); },
                              [&](int w) { window->controls.shpScale.setWidth(w); }});
  NoMessages messages;
  WindowServices services;
  services.messages = &messages;
  services.unlha = [](const std::string&) { return 0; };
  services.now = [] { return std::tm{}; };
  window = std::make_unique<MainWindow>(drive, steps, services);
  MainWindow& w = *window;

  MainWindowWidget widget(w.controls, {[&] { w.clickStart(); }, [&] { w.clickCancel(); }, [&] { w.clickExit(); },
                                       [&](bool on) { w.setDbLoad(on); }});
  w.controls.setObserver([&](const Control& c) { widget.showControl(c); });
  ASSERT_EQ(w.startUp(documents, "/l /f"), "");
  widget.show();

  EXPECT_EQ(widget.windowTitle(), "Quillon Ver.2.1");
  EXPECT_EQ(textOf(widget, "cmd_Start"), "Start");
  EXPECT_EQ(textOf(widget, "cmd_Cancel"), "Cancel");
  EXPECT_EQ(textOf(widget, "cmd_EXIT"), "Exit");
  EXPECT_EQ(textOf(widget, "Check1"), "DB Load");
  EXPECT_EQ(textOf(widget, "Label3"), "Connecting to Drive");
  EXPECT_EQ(textOf(widget, "Label1"), "Receiving Trace Back Data");
  EXPECT_EQ(textOf(widget, "Label2"), "Receiving Setting Parameter");
  EXPECT_EQ(textOf(widget, "Label12"), "Compress the files");
  EXPECT_EQ(textOf(widget, "Label9"), "0");
  EXPECT_EQ(textOf(widget, "Label10"), " / 0 bank(s)");
  EXPECT_TRUE(widget.widgetFor("cmd_Start")->isEnabled());
  EXPECT_FALSE(widget.widgetFor("cmd_Cancel")->isEnabled());
  EXPECT_TRUE(widget.widgetFor("Check1")->isVisible()) << "shown for a command line with /l";
  EXPECT_FALSE(widget.widgetFor("LabelDummy")->isVisible());
  EXPECT_FALSE(widget.widgetFor("shpScale")->isVisible());

  // The user's tick reaches the state; the run reads it.
  qobject_cast<QCheckBox*>(widget.widgetFor("Check1"))->setChecked(true);
  EXPECT_TRUE(w.controls.Check1.checked());
  qobject_cast<QCheckBox*>(widget.widgetFor("Check1"))->setChecked(false);

  qobject_cast<QPushButton*>(widget.widgetFor("cmd_Start"))->click();
  EXPECT_EQ(w.lastOutcome(), RunOutcome::Completed) << w.x().ErrorText;
  EXPECT_EQ(textOf(widget, "cmd_Cancel"), "Reset");
  EXPECT_TRUE(widget.widgetFor("cmd_Cancel")->isEnabled());
  EXPECT_FALSE(widget.widgetFor("cmd_Start")->isEnabled());
  EXPECT_EQ(textOf(widget, "Label7"), "Done>");
  EXPECT_EQ(textOf(widget, "Label8"), "Skip>");
  EXPECT_EQ(textOf(widget, "Label11"), "DriveType = \"RX-Ardo \"");
  EXPECT_EQ(textOf(widget, "Label10"), " / 8 bank(s)");
  EXPECT_EQ(widget.widgetFor("shpScale")->width(), w.controls.shpBox.width());

  // Screenshot for the README, when asked for.
  if (const char* shot = std::getenv("QUILLON_SCREENSHOT")) widget.grab().save(QString::fromLocal8Bit(shot));

  qobject_cast<QPushButton*>(widget.widgetFor("cmd_Cancel"))->click();
  EXPECT_EQ(textOf(widget, "cmd_Cancel"), "Cancel");
  EXPECT_FALSE(widget.widgetFor("cmd_Cancel")->isEnabled());
  EXPECT_TRUE(widget.widgetFor("cmd_Start")->isEnabled());
  EXPECT_EQ(textOf(widget, "Label7"), "");
  EXPECT_FALSE(widget.widgetFor("shpScale")->isVisible());

  // Closing the window is Exit.
  bool quit = false;
  WindowServices quitting = services;
  quitting.quitProgram = [&] { quit = true; };
  ScriptedDrive idleDrive;
  std::unique_ptr<MainWindow> idle;
  ScriptedSteps idleSteps(idleDrive, {});
  idle = std::make_unique<MainWindow>(idleDrive, idleSteps, quitting);
  MainWindowWidget idleWidget(idle->controls, {nullptr, nullptr, [&] { idle->clickExit(); }, nullptr});
  idleWidget.show();
  idleWidget.close();
  EXPECT_TRUE(quit);
  platform_shell::DeleteFolder(documents, true);
}

}  // namespace
