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
#include <QLabel>
#include <QPushButton>

namespace quillon {
namespace {

constexpr int kBarHeight = 18;
constexpr int kMarkerWidth = 90;
constexpr int kMinimumWidth = 560;

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
  window_.setChoicesObserver([this] { showDriveChoices(); });

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
  showFocus(controls.focus());
}

void MainWindowWidget::showDriveChoices() {
  const QSignalBlocker quiet(drive_);
  const QString typed = drive_->currentText();
  drive_->clear();
  for (const DriveChoice& choice : window_.driveChoices()) drive_->addItem(text(choice.label));
  drive_->setEditText(typed);
}

MainWindowWidget::~MainWindowWidget() {
  window_.setChoicesObserver(nullptr);
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
