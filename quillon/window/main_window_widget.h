#pragma once
// The Qt main window. It only shows the plain control state of WindowControls and passes the
// button clicks on; the save run itself knows nothing of widgets.
#include <QWidget>
#include <functional>
#include <map>
#include <string>

#include "quillon/window/window_controls.h"

class QAbstractButton;
class QCheckBox;
class QFrame;
class QLabel;

namespace quillon {

struct WindowActions {
  std::function<void()> start;
  std::function<void()> cancel;
  std::function<void()> exit;
  std::function<void(bool)> dbLoadToggled;
};

class MainWindowWidget : public QWidget {
  Q_OBJECT
 public:
  MainWindowWidget(const WindowControls& controls, WindowActions actions, QWidget* parent = nullptr);

  // Shows the current state of one control (call from WindowControls' observer).
  void showControl(const Control& control);
  void showAll();
  QWidget* widgetFor(const std::string& controlName) const;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QLabel* addLabel(const Control& control, int x, int y, int width, Qt::Alignment alignment = Qt::AlignLeft);
  QAbstractButton* addButton(const Control& control, int x, int y, std::function<void()> action);

  const WindowControls& controls_;
  WindowActions actions_;
  std::map<std::string, QWidget*> widgets_;
  QFrame* scale_ = nullptr;
};

}  // namespace quillon
