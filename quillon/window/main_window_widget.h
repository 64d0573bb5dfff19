#pragma once
// The Qt main window. It only shows the plain control state of the main window and passes the
// button clicks on; the save run itself knows nothing of widgets.
#include <QWidget>
#include <functional>
#include <map>
#include <set>
#include <string>

#include "quillon/window/main_window.h"

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QListWidget;
class QTableWidget;

namespace quillon {

class MainWindowWidget : public QWidget {
  Q_OBJECT
 public:
  // Shows `window`'s controls from now on, each change as it happens.
  explicit MainWindowWidget(MainWindow& window, QWidget* parent = nullptr);
  ~MainWindowWidget() override;

  void showControl(const Control& control);
  void showFocus(const Control* control);
  void showAll();
  void growToShowEverything();
  QWidget* widgetFor(const std::string& controlName) const;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QLabel* addLabel(const Control& control, Qt::Alignment alignment = Qt::AlignLeft);
  QAbstractButton* addButton(const Control& control, std::function<void()> action);
  void showDriveChoices();
  void showDriveRows(std::size_t row);
  void showDriveRow(int row);

  MainWindow& window_;
  const WindowControls& controls_;
  std::map<std::string, QWidget*> widgets_;
  std::set<std::string> messageLines_;  // hidden while empty
  QFrame* scale_ = nullptr;
  QComboBox* drive_ = nullptr;
  QListWidget* picks_ = nullptr;   // the drives found, to tick
  QCheckBox* pickAll_ = nullptr;
  QTableWidget* rows_ = nullptr;   // one row per drive of a save of several
};

}  // namespace quillon
