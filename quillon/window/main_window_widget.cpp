#include "quillon/window/main_window_widget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSignalBlocker>
#include <algorithm>
#include <QCloseEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>

namespace quillon {
namespace {

constexpr int kBarHeight = 18;
constexpr int kMarkerWidth = 90;
constexpr int kMinimumWidth = 560;
constexpr int kPickLinesShown = 4;  // the list of drives found scrolls beyond
enum RowColumn { kDrive, kPanelName, kProgress, kResult, kData, kColumns };

QString text(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

// Laid out rather than placed, so that the window resizes and long texts (a notice, the
// closing message with its paths) wrap instead of being cut.
MainWindowWidget::MainWindowWidget(MainWindow& window, QWidget* parent)
    : QWidget(parent), window_(window), controls_(window.controls) {
  const WindowControls& controls = controls_;
  setWindowTitle(QString::fromStdString(WindowCaption()));
  setMinimumWidth(kMinimumWidth);
  resize(kMinimumWidth, 0);

  auto* page = new QVBoxLayout(this);
  auto* rows = new QGridLayout;
  rows->setColumnStretch(0, 1);
  rows->setColumnMinimumWidth(1, kMarkerWidth);
  const std::pair<const Control*, const Control*> steps[] = {{&controls.Label3, &controls.Label7},
                                                              {&controls.Label1, &controls.Label5},
                                                              {&controls.Label2, &controls.Label6},
                                                              {&controls.Label12, &controls.Label8}};
  int row = 0;
  for (const auto& [caption, marker] : steps) {
    rows->addWidget(addLabel(*caption), row, 0);
    rows->addWidget(addLabel(*marker), row++, 1);
  }
  page->addLayout(rows);
  page->addWidget(addLabel(controls.Label11));

  // The drive: an address typed in, or one of the drives a scan (or a broadcast) found.
  auto* driveRow = new QHBoxLayout;
  driveRow->addWidget(new QLabel(QStringLiteral("Drive"), this));
  drive_ = new QComboBox(this);
  drive_->setObjectName(QStringLiteral("txtDrive"));
  drive_->setEditable(true);
  drive_->setInsertPolicy(QComboBox::NoInsert);
  drive_->lineEdit()->setPlaceholderText(QStringLiteral("255.255.255.255 (broadcast)"));
  connect(drive_, &QComboBox::editTextChanged, this,
          [this](const QString& text) { window_.setDriveAddress(text.section(QLatin1Char(' '), 0, 0).toStdString()); });
  widgets_["txtDrive"] = drive_;
  driveRow->addWidget(drive_, 1);
  driveRow->addWidget(addButton(controls.cmd_Scan, [this] { window_.clickScan(); }));
  page->addLayout(driveRow);

  // The drives found, to tick several (or all): saved side by side, one row each.
  picks_ = new QListWidget(this);
  picks_->setObjectName(QStringLiteral("drivePicks"));
  picks_->setMaximumHeight(picks_->fontMetrics().height() * (kPickLinesShown + 1));
  connect(picks_, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
    window_.pickDrive(static_cast<std::size_t>(picks_->row(item)), item->checkState() == Qt::Checked);
  });
  pickAll_ = new QCheckBox(QStringLiteral("All drives"), this);
  pickAll_->setObjectName(QStringLiteral("pickAll"));
  connect(pickAll_, &QCheckBox::toggled, this, [this](bool on) { window_.pickEveryDrive(on); });
  picks_->hide();  // until there is something to tick: the window's first layout leaves no room for it
  pickAll_->hide();
  page->addWidget(picks_);
  page->addWidget(pickAll_);
  window_.setChoicesObserver([this] { showDriveChoices(); });

  rows_ = new QTableWidget(0, kColumns, this);
  rows_->setObjectName(QStringLiteral("driveRows"));
  rows_->setHorizontalHeaderLabels({QStringLiteral("Drive"), QStringLiteral("Panel name"), QStringLiteral("Progress"),
                                    QStringLiteral("Result"), QStringLiteral("Data")});
  rows_->verticalHeader()->hide();
  rows_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  rows_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  rows_->horizontalHeader()->setStretchLastSection(true);
  rows_->hide();
  page->addWidget(rows_, 1);
  window_.setRowsObserver([this](std::size_t row) { showDriveRows(row); });

  auto* barRow = new QHBoxLayout;
  auto* box = new QFrame(this);
  box->setObjectName(QStringLiteral("shpBox"));
  box->setFrameShape(QFrame::Box);
  box->setFixedSize(controls.shpBox.width() + 2, kBarHeight);
  widgets_["shpBox"] = box;
  scale_ = new QFrame(box);
  scale_->setObjectName(QStringLiteral("shpScale"));
  scale_->setAutoFillBackground(true);
  QPalette palette = scale_->palette();
  palette.setColor(QPalette::Window, QColor(0, 0, 160));
  scale_->setPalette(palette);
  widgets_["shpScale"] = scale_;
  barRow->addWidget(box);
  barRow->addWidget(addLabel(controls.Label9, Qt::AlignRight));
  barRow->addWidget(addLabel(controls.Label10));
  barRow->addStretch(1);
  page->addLayout(barRow);

  for (const Control* line : {&controls.LabelReading, &controls.Label4, &controls.LabelResend, &controls.LabelClosing}) {
    addLabel(*line)->setWordWrap(true);  // a path is never cut off
    page->addWidget(widgetFor(line->name()));
    messageLines_.insert(line->name());
  }
  addLabel(controls.LabelDummy)->hide();
  page->addStretch(1);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(addButton(controls.cmd_Start, [this] { window_.clickStart(); }));
  buttons->addWidget(addButton(controls.cmd_Cancel, [this] { window_.clickCancel(); }));
  buttons->addWidget(addButton(controls.cmd_EXIT, [this] { window_.clickExit(); }));
  buttons->addWidget(addButton(controls.cmd_View, [this] { window_.clickView(); }));
  auto* check = new QCheckBox(this);
  check->setObjectName(QStringLiteral("Check1"));
  connect(check, &QCheckBox::toggled, this, [this](bool on) { window_.setDbLoad(on); });
  widgets_["Check1"] = check;
  buttons->addWidget(check);
  buttons->addStretch(1);
  page->addLayout(buttons);

  // The window itself takes the focus when no button should have it.
  setFocusPolicy(Qt::StrongFocus);
  window_.controls.setObserver([this](const Control& c) { showControl(c); });
  window_.controls.setFocusObserver([this](const Control* c) { showFocus(c); });
  showAll();
  showDriveChoices();
  showDriveRows(MainWindow::kAllRows);
  showFocus(controls.focus());
}

void MainWindowWidget::showDriveChoices() {
  const QSignalBlocker quiet(drive_), quietPicks(picks_), quietAll(pickAll_);
  const QString typed = drive_->currentText();
  const std::vector<DriveChoice>& choices = window_.driveChoices();
  drive_->clear();
  picks_->clear();
  bool everyOne = !choices.empty();
  for (const DriveChoice& choice : choices) {
    drive_->addItem(text(choice.label));
    auto* item = new QListWidgetItem(text(choice.label), picks_);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
    item->setCheckState(choice.picked ? Qt::Checked : Qt::Unchecked);
    everyOne = everyOne && choice.picked;
  }
  drive_->setEditText(typed);
  pickAll_->setChecked(everyOne);
  // Only when there is something to tick; a window for one drive looks as it always did.
  picks_->setVisible(!choices.empty());
  pickAll_->setVisible(choices.size() > 1);
  growToShowEverything();
}

void MainWindowWidget::showDriveRows(std::size_t row) {
  const std::vector<DriveRow>& rows = window_.driveRows();
  if (row != MainWindow::kAllRows) {
    if (row < rows.size() && static_cast<int>(row) < rows_->rowCount()) showDriveRow(static_cast<int>(row));
    return;
  }
  rows_->setRowCount(static_cast<int>(rows.size()));
  for (int r = 0; r < rows_->rowCount(); ++r) {
    for (int c = 0; c < kColumns; ++c)
      if (c != kProgress && !rows_->item(r, c)) rows_->setItem(r, c, new QTableWidgetItem);
    if (!rows_->cellWidget(r, kProgress)) rows_->setCellWidget(r, kProgress, new QProgressBar(rows_));
    showDriveRow(r);
  }
  rows_->setVisible(!rows.empty());
  if (!rows.empty()) rows_->setMinimumHeight(rows_->horizontalHeader()->height() + rows_->rowHeight(0) * std::min<int>(rows_->rowCount(), 8) + 4);
  growToShowEverything();
}

void MainWindowWidget::showDriveRow(int r) {
  const DriveRow& row = window_.driveRows()[static_cast<std::size_t>(r)];
  rows_->item(r, kDrive)->setText(text(row.drive));
  rows_->item(r, kPanelName)->setText(text(row.panelName));
  rows_->item(r, kResult)->setText(text(row.result));
  rows_->item(r, kResult)->setToolTip(text(row.message));
  rows_->item(r, kData)->setText(text(row.data));
  rows_->item(r, kData)->setToolTip(text(row.data));
  if (auto* bar = qobject_cast<QProgressBar*>(rows_->cellWidget(r, kProgress))) bar->setValue(row.percent);
}

MainWindowWidget::~MainWindowWidget() {
  window_.setChoicesObserver(nullptr);
  window_.setRowsObserver(nullptr);
  window_.controls.setObserver(nullptr);
  window_.controls.setFocusObserver(nullptr);
}

QLabel* MainWindowWidget::addLabel(const Control& control, Qt::Alignment alignment) {
  auto* label = new QLabel(this);
  label->setObjectName(text(control.name()));
  label->setAlignment(alignment | Qt::AlignVCenter);
  label->setTextFormat(Qt::PlainText);  // drive texts are shown as they are, never as markup
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);  // a path can be copied
  widgets_[control.name()] = label;
  return label;
}

QAbstractButton* MainWindowWidget::addButton(const Control& control, std::function<void()> action) {
  auto* button = new QPushButton(this);
  button->setObjectName(text(control.name()));
  connect(button, &QPushButton::clicked, this, [action = std::move(action)] { action(); });
  widgets_[control.name()] = button;
  return button;
}

// A longer message makes the window taller, never cuts it; the user may resize it further.
void MainWindowWidget::growToShowEverything() {
  QLayout* page = layout();
  if (!page) return;
  page->activate();
  const int needed = page->hasHeightForWidth() ? page->totalHeightForWidth(width()) : page->totalSizeHint().height();
  if (needed > height()) resize(width(), needed);
}

QWidget* MainWindowWidget::widgetFor(const std::string& controlName) const {
  const auto it = widgets_.find(controlName);
  return it == widgets_.end() ? nullptr : it->second;
}

void MainWindowWidget::showControl(const Control& control) {
  QWidget* widget = widgetFor(control.name());
  if (!widget) return;
  if (widget == scale_) {
    scale_->setGeometry(1, 1, std::clamp(control.width(), 0, controls_.shpBox.width()), kBarHeight - 2);
    scale_->setVisible(control.width() > 0);
    return;
  }
  if (control.name() == "LabelDummy") return;  // scratch value, never shown
  if (widget == drive_) {
    if (drive_->currentText().section(QLatin1Char(' '), 0, 0) != text(control.caption())) {
      const QSignalBlocker quiet(drive_);
      drive_->setEditText(text(control.caption()));
    }
    drive_->setEnabled(control.enabled());
    return;
  }
  if (auto* label = qobject_cast<QLabel*>(widget)) label->setText(text(control.caption()));
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    button->setText(text(control.caption()));
    if (auto* check = qobject_cast<QCheckBox*>(button)) {
      const QSignalBlocker quiet(check);  // showing the state is no user click
      check->setChecked(control.checked());
    }
  }
  widget->setEnabled(control.enabled());
  // The message lines take room only while they say something.
  const bool messageLine = messageLines_.count(control.name()) > 0;
  widget->setVisible(control.visible() && !(messageLine && control.caption().empty()));
  if (messageLine) growToShowEverything();
}

// A keyboard reason, so that the style draws the focus frame from the start; the focused button
// is also the default one, which Enter presses.
void MainWindowWidget::showFocus(const Control* control) {
  QWidget* target = control ? widgetFor(control->name()) : nullptr;
  for (const char* name : {"cmd_Start", "cmd_Cancel", "cmd_EXIT"})
    if (auto* button = qobject_cast<QPushButton*>(widgetFor(name))) button->setDefault(button == target);
  (target ? target : this)->setFocus(Qt::TabFocusReason);
}

void MainWindowWidget::showAll() {
  for (const Control* control : controls_.all()) showControl(*control);
}

void MainWindowWidget::closeEvent(QCloseEvent* event) {
  // Closing the window is the Exit button; Exit decides (and during a run asks) whether and
  // when the window may go.
  event->ignore();
  window_.clickExit();
}

}  // namespace quillon
