#include "quillon/window/main_window_widget.h"

#include <QCheckBox>
#include <QSignalBlocker>
#include <algorithm>
#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

namespace quillon {
namespace {

// Fixed form layout, in pixels.
constexpr int kLeft = 20;
constexpr int kMarkerX = 300;
constexpr int kRowHeight = 26;
constexpr int kCaptionWidth = 270;
constexpr int kMarkerWidth = 70;
constexpr int kBarY = 150;
constexpr int kBarHeight = 18;
constexpr int kNoticeY = 182;
constexpr int kResendY = 204;
constexpr int kButtonY = 232;
constexpr int kButtonWidth = 90;
constexpr int kButtonHeight = 28;
constexpr int kFormWidth = 560;
constexpr int kFormHeight = 276;

QString text(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

MainWindowWidget::MainWindowWidget(MainWindow& window, QWidget* parent)
    : QWidget(parent), window_(window), controls_(window.controls) {
  const WindowControls& controls = controls_;
  setWindowTitle(QString::fromStdString(WindowCaption()));
  setFixedSize(kFormWidth, kFormHeight);

  const int rows[] = {16, 16 + kRowHeight, 16 + 2 * kRowHeight, 16 + 3 * kRowHeight};
  addLabel(controls.Label3, kLeft, rows[0], kCaptionWidth);
  addLabel(controls.Label7, kMarkerX, rows[0], kMarkerWidth);
  addLabel(controls.Label1, kLeft, rows[1], kCaptionWidth);
  addLabel(controls.Label5, kMarkerX, rows[1], kMarkerWidth);
  addLabel(controls.Label2, kLeft, rows[2], kCaptionWidth);
  addLabel(controls.Label6, kMarkerX, rows[2], kMarkerWidth);
  addLabel(controls.Label12, kLeft, rows[3], kCaptionWidth);
  addLabel(controls.Label8, kMarkerX, rows[3], kMarkerWidth);
  addLabel(controls.Label11, kLeft, 124, kFormWidth - 2 * kLeft);

  auto* box = new QFrame(this);
  box->setObjectName(QStringLiteral("shpBox"));
  box->setFrameShape(QFrame::Box);
  box->setGeometry(kLeft, kBarY, controls.shpBox.width() + 2, kBarHeight);
  widgets_["shpBox"] = box;
  scale_ = new QFrame(box);
  scale_->setObjectName(QStringLiteral("shpScale"));
  scale_->setAutoFillBackground(true);
  QPalette palette = scale_->palette();
  palette.setColor(QPalette::Window, QColor(0, 0, 160));
  scale_->setPalette(palette);
  widgets_["shpScale"] = scale_;

  addLabel(controls.Label9, kLeft + controls.shpBox.width() + 8, kBarY, 40, Qt::AlignRight);
  addLabel(controls.Label10, kLeft + controls.shpBox.width() + 48, kBarY, 130);
  addLabel(controls.Label4, kLeft, kNoticeY, kFormWidth - 2 * kLeft);
  addLabel(controls.LabelResend, kLeft, kResendY, kFormWidth - 2 * kLeft);
  auto* dummy = addLabel(controls.LabelDummy, 0, 0, 1);
  dummy->hide();

  addButton(controls.cmd_Start, kLeft, kButtonY, [this] { window_.clickStart(); });
  addButton(controls.cmd_Cancel, kLeft + kButtonWidth + 12, kButtonY, [this] { window_.clickCancel(); });
  addButton(controls.cmd_EXIT, kLeft + 2 * (kButtonWidth + 12), kButtonY, [this] { window_.clickExit(); });

  auto* check = new QCheckBox(this);
  check->setObjectName(QStringLiteral("Check1"));
  check->setGeometry(kLeft + 3 * (kButtonWidth + 12) + 20, kButtonY, 120, kButtonHeight);
  connect(check, &QCheckBox::toggled, this, [this](bool on) { window_.setDbLoad(on); });
  widgets_["Check1"] = check;

  // The window itself takes the focus when no button should have it.
  setFocusPolicy(Qt::StrongFocus);
  window_.controls.setObserver([this](const Control& c) { showControl(c); });
  window_.controls.setFocusObserver([this](const Control* c) { showFocus(c); });
  showAll();
  showFocus(controls.focus());
}

MainWindowWidget::~MainWindowWidget() {
  window_.controls.setObserver(nullptr);
  window_.controls.setFocusObserver(nullptr);
}

QLabel* MainWindowWidget::addLabel(const Control& control, int x, int y, int width, Qt::Alignment alignment) {
  auto* label = new QLabel(this);
  label->setObjectName(text(control.name()));
  label->setGeometry(x, y, width, kRowHeight - 4);
  label->setAlignment(alignment | Qt::AlignVCenter);
  label->setTextFormat(Qt::PlainText);  // drive texts are shown as they are, never as markup
  widgets_[control.name()] = label;
  return label;
}

QAbstractButton* MainWindowWidget::addButton(const Control& control, int x, int y, std::function<void()> action) {
  auto* button = new QPushButton(this);
  button->setObjectName(text(control.name()));
  button->setGeometry(x, y, kButtonWidth, kButtonHeight);
  connect(button, &QPushButton::clicked, this, [action = std::move(action)] { action(); });
  widgets_[control.name()] = button;
  return button;
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
  if (auto* label = qobject_cast<QLabel*>(widget)) label->setText(text(control.caption()));
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    button->setText(text(control.caption()));
    if (auto* check = qobject_cast<QCheckBox*>(button)) {
      const QSignalBlocker quiet(check);  // showing the state is no user click
      check->setChecked(control.checked());
    }
  }
  widget->setEnabled(control.enabled());
  widget->setVisible(control.visible());
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
