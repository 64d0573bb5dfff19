#include "velkor/module/design_view.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QPainter>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace velkor {

namespace {

// Dialog units to pixels for the page template (base units of a 6 x 13 pixel font).
int dluX(int x) { return x * 6 / 4; }
int dluY(int y) { return y * 13 / 8; }
QRect dluRect(int x, int y, int w, int h) { return QRect(dluX(x), dluY(y), dluX(w), dluY(h)); }

// The page template: 222 x 77 dialog units.
constexpr int kPageWidth = 222, kPageHeight = 77;

void drawRaisedEdge(QPainter& p, const QRect& r) {
  const QColor light(227, 227, 227), highlight(Qt::white), shadow(160, 160, 160), darkShadow(105, 105, 105);
  auto frame = [&](const QRect& f, const QColor& topLeft, const QColor& bottomRight) {
    p.setPen(topLeft);
    p.drawLine(f.topLeft(), f.topRight());
    p.drawLine(f.topLeft(), f.bottomLeft());
    p.setPen(bottomRight);
    p.drawLine(f.bottomLeft(), f.bottomRight());
    p.drawLine(f.topRight(), f.bottomRight());
  };
  frame(r, light, darkShadow);                            // raised outer
  frame(r.adjusted(1, 1, -1, -1), highlight, shadow);     // raised inner
}

bool readSwitch(platform::automation::Dispatch& control, const char* name) {
  platform::automation::Variant v;
  bool on = false;
  if (platform::automation::Succeeded(control.get(name, v))) v.toBool(on);
  return on;
}

}  // namespace

QImage DrawDesignTime(const std::string& label, int width, int height) {
  QImage image(std::max(width, 1), std::max(height, 1), QImage::Format_RGB32);
  QPainter p(&image);
  const QRect r = image.rect();
  p.fillRect(r, Qt::white);
  drawRaisedEdge(p, r);
  p.setPen(Qt::black);
  p.setBackgroundMode(Qt::TransparentMode);
  p.setFont(QFont());  // the variable-width system font
  p.drawText(r, Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine, QString::fromStdString(label));
  p.end();
  return image;
}

CVelkorPropPage::CVelkorPropPage(QWidget* parent) : QDialog(parent) {
  setFixedSize(dluX(kPageWidth), dluY(kPageHeight));
  auto* group = new QGroupBox(QStringLiteral("Byte order convert"), this);
  group->setGeometry(dluRect(5, 5, 90, 50));
  auto make = [&](ControlId id, const char* text, QRect where) {
    auto* box = new QCheckBox(QString::fromLatin1(text), this);
    box->setObjectName(QString::number(id));
    box->setGeometry(where);
    box->setFocusPolicy(Qt::StrongFocus);
    return box;
  };
  rio_ = make(kIdRioHeader, "RIO header", dluRect(15, 20, 70, 10));
  v27_ = make(kIdV27Header, "V27 header", dluRect(15, 35, 70, 10));
  filter_ = make(kIdSrcIpFilter, "SrcIpFilter", dluRect(110, 20, 105, 10));
  loopBack_ = make(kIdLoopBackMode, "LoopBackMode for debug", dluRect(110, 35, 105, 10));
}

QCheckBox* CVelkorPropPage::checkBox(ControlId id) const {
  switch (id) {
    case kIdRioHeader: return rio_;
    case kIdV27Header: return v27_;
    case kIdSrcIpFilter: return filter_;
    case kIdLoopBackMode: return loopBack_;
  }
  return nullptr;
}

void CVelkorPropPage::toWidgets() {
  rio_->setChecked(ByteOrderRIO);
  v27_->setChecked(ByteOrderV27);
  filter_->setChecked(SrcIpFilter);
  loopBack_->setChecked(LoopBackMode);
}

void CVelkorPropPage::fromWidgets() {
  ByteOrderRIO = rio_->isChecked();
  ByteOrderV27 = v27_->isChecked();
  SrcIpFilter = filter_->isChecked();
  LoopBackMode = loopBack_->isChecked();
}

void CVelkorPropPage::load(platform::automation::Dispatch& control) {
  ByteOrderRIO = readSwitch(control, "ByteOrderRIO");
  ByteOrderV27 = readSwitch(control, "ByteOrderV27");
  SrcIpFilter = readSwitch(control, "SrcIpFilter");
  LoopBackMode = readSwitch(control, "LoopBackMode");
  toWidgets();
}

platform::automation::HRESULT CVelkorPropPage::apply(platform::automation::Dispatch& control) {
  fromWidgets();
  const std::pair<const char*, bool> values[] = {
      {"ByteOrderRIO", ByteOrderRIO}, {"ByteOrderV27", ByteOrderV27},
      {"SrcIpFilter", SrcIpFilter},   {"LoopBackMode", LoopBackMode}};
  platform::automation::HRESULT result = platform::automation::S_OK;
  for (const auto& [name, on] : values) {
    const platform::automation::HRESULT hr = control.put(name, platform::automation::Variant(on));
    if (platform::automation::Failed(hr)) result = hr;
  }
  return result;
}

bool RunPropertySheet(platform::automation::Dispatch& control, const std::string& title) {
  QDialog sheet;
  sheet.setWindowTitle(QString::fromStdString(title));
  auto* layout = new QVBoxLayout(&sheet);
  auto* tabs = new QTabWidget(&sheet);
  auto* page = new CVelkorPropPage(tabs);
  page->setWindowFlags(Qt::Widget);
  tabs->addTab(page, QStringLiteral("General"));
  layout->addWidget(tabs);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, &sheet);
  layout->addWidget(buttons);
  page->load(control);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &sheet, [&] {
    page->apply(control);
    sheet.accept();
  });
  QObject::connect(buttons, &QDialogButtonBox::rejected, &sheet, &QDialog::reject);
  QObject::connect(buttons->button(QDialogButtonBox::Apply), &QPushButton::clicked, &sheet, [&] { page->apply(control); });
  return sheet.exec() == QDialog::Accepted;
}

}  // namespace velkor
