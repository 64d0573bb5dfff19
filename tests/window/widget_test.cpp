// The Qt window shows the controls' state and passes the clicks on (runs offscreen).
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <cstdlib>
#include <filesystem>

#include "quillon/window/main_window_widget.h"
#include "tests/window/window_rig.h"

namespace {
using namespace quillon;
using quillon_test::WindowRig;

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

}  // namespace
