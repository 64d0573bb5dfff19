#include "quillon/view/plot_widget.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "quillon/view/svg_writer.h"

namespace quillon::view {

namespace {

constexpr double kZoomStep = 1.5;
constexpr double kSmallestSamples = 4;  // samples across the whole width at the closest zoom

QColor colourOf(Rgb rgb) { return QColor::fromRgb(static_cast<QRgb>(rgb)); }

}  // namespace

void PaintScene(QPainter& painter, const PlotScene& scene) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, true);
  for (const SceneRect& r : scene.rects) {
    painter.setPen(r.stroke ? QPen(colourOf(*r.stroke), 1) : QPen(Qt::NoPen));
    painter.setBrush(r.fill ? QBrush(colourOf(*r.fill)) : QBrush(Qt::NoBrush));
    painter.drawRect(QRectF(r.x, r.y, r.w, r.h));
  }
  painter.setBrush(Qt::NoBrush);
  for (const ScenePath& p : scene.paths) {
    QPen pen(colourOf(p.colour), p.width);
    if (p.dashed) pen.setDashPattern({4, 3});
    painter.setPen(pen);
    QPolygonF line;
    line.reserve(static_cast<qsizetype>(p.points.size()));
    for (const ScenePoint& point : p.points) line << QPointF(point.x, point.y);
    painter.drawPolyline(line);
  }
  painter.setPen(Qt::NoPen);
  for (const SceneDot& d : scene.dots) {
    painter.setBrush(colourOf(d.colour));
    painter.drawEllipse(QPointF(d.x, d.y), d.radius, d.radius);
  }
  for (const SceneText& t : scene.texts) {
    QFont font = painter.font();
    font.setPixelSize(static_cast<int>(std::lround(t.size)));
    font.setBold(t.bold);
    painter.setFont(font);
    painter.setPen(colourOf(t.colour));
    const QString text = QString::fromStdString(t.text);
    double x = t.x;
    const double width = painter.fontMetrics().horizontalAdvance(text);
    if (t.anchor == SceneText::Anchor::Middle) x -= width / 2;
    else if (t.anchor == SceneText::Anchor::End) x -= width;
    painter.drawText(QPointF(x, t.y), text);
  }
  painter.restore();
}

PlotWidget::PlotWidget(QWidget* parent) : QWidget(parent) {
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  setMinimumSize(320, 200);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void PlotWidget::setBank(const Bank* bank) {
  bank_ = bank;
  signals_.clear();
  cursor_.reset();
  fit();
}

void PlotWidget::setSignals(std::vector<std::size_t> signals) {
  const AxisSpan before = whole();
  const bool showedAll = first_ <= before.first + 1e-9 && last_ >= before.last - 1e-9;
  signals_ = std::move(signals);
  // A new signal of a longer span widens a plot that showed everything.
  if (showedAll) fit();
  else setSpan(first_, last_);
}

void PlotWidget::setSecondsPerSampling(std::optional<double> seconds) {
  secondsPerSampling_ = seconds;
  fit();
}

void PlotWidget::setPercent(bool percent) {
  percent_ = percent;
  update();
}

AxisSpan PlotWidget::whole() const { return bank_ ? WholeSpan(*bank_, signals_, secondsPerSampling_) : AxisSpan{}; }

void PlotWidget::setSpan(double first, double last) {
  const AxisSpan limit = whole();
  const double widest = limit.last - limit.first;
  // The closest zoom shows a few samples of the signal with the finest steps.
  double step = widest;
  if (bank_)
    for (std::size_t index : signals_)
      if (index < bank_->signals.size()) step = std::min(step, bank_->axisOf(bank_->signals[index], secondsPerSampling_).step);
  double span = std::clamp(last - first, std::min(kSmallestSamples * step, widest), widest);
  first = std::clamp(first, limit.first, limit.last - span);
  first_ = first;
  last_ = first + span;
  update();
}

void PlotWidget::fit() {
  const AxisSpan limit = whole();
  setSpan(limit.first, limit.last);
}
void PlotWidget::zoomIn() { zoomAround((first_ + last_) / 2, 1 / kZoomStep); }
void PlotWidget::zoomOut() { zoomAround((first_ + last_) / 2, kZoomStep); }

void PlotWidget::zoomAround(double position, double factor) {
  const double first = position - (position - first_) * factor;
  const double last = position + (last_ - position) * factor;
  setSpan(first, last);
}

void PlotWidget::panBy(double distance) { setSpan(first_ + distance, last_ + distance); }

PlotRequest PlotWidget::request() const {
  PlotRequest r;
  r.bank = bank_;
  r.signals = signals_;
  r.width = width();
  r.height = height();
  r.first = first_;
  r.last = last_;
  r.percent = percent_;
  r.secondsPerSampling = secondsPerSampling_;
  r.cursor = cursor_;
  return r;
}

void PrintScene(QPaintDevice& device, const PlotScene& scene) {
  if (scene.width <= 0 || scene.height <= 0) return;
  QPainter painter(&device);
  const double scale = std::min(device.width() / scene.width, device.height() / scene.height);
  painter.scale(scale, scale);
  PaintScene(painter, scene);
}

PlotScene PlotWidget::titledScene(const std::string& title) const {
  PlotScene scene;
  if (bank_) {
    scene = BuildPlotScene(request());
  } else {
    scene.width = width();
    scene.height = height();
  }
  return WithTitleLine(std::move(scene), title);
}

QImage PlotWidget::toImage(const std::string& title) const {
  const PlotScene scene = titledScene(title);
  QImage image(static_cast<int>(std::ceil(scene.width)), static_cast<int>(std::ceil(scene.height)), QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  PaintScene(painter, scene);
  return image;
}

std::string PlotWidget::toSvg(const std::string& title) const { return SceneToSvg(titledScene(title), {1, false, true}); }

void PlotWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
  if (bank_) PaintScene(painter, BuildPlotScene(request()));
  ++paints_;
}

void PlotWidget::wheelEvent(QWheelEvent* event) {
  const double notches = event->angleDelta().y() / 120.0;
  if (notches == 0 || !bank_) return;
  zoomAround(PositionAtX(request(), event->position().x()), std::pow(kZoomStep, -notches));
  event->accept();
}

void PlotWidget::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) dragFrom_ = event->position().x();
}

void PlotWidget::mouseMoveEvent(QMouseEvent* event) {
  const double x = event->position().x();
  if (dragFrom_ && bank_) {
    const PlotArea area = PlotAreaOf(request());
    panBy(-(x - *dragFrom_) / std::max(1.0, area.right - area.left) * (last_ - first_));
    dragFrom_ = x;
  }
  moveCursorTo(x);
}

void PlotWidget::mouseReleaseEvent(QMouseEvent*) { dragFrom_.reset(); }
void PlotWidget::mouseDoubleClickEvent(QMouseEvent*) { fit(); }

void PlotWidget::leaveEvent(QEvent*) {
  cursor_.reset();
  Q_EMIT readoutChanged(QString());
  update();
}

void PlotWidget::keyPressEvent(QKeyEvent* event) {
  const double step = (last_ - first_) / 10;
  switch (event->key()) {
    case Qt::Key_Plus: case Qt::Key_Equal: zoomIn(); break;
    case Qt::Key_Minus: zoomOut(); break;
    case Qt::Key_Left: panBy(-step); break;
    case Qt::Key_Right: panBy(step); break;
    case Qt::Key_Home: fit(); break;
    default: QWidget::keyPressEvent(event); return;
  }
}

void PlotWidget::moveCursorTo(double x) {
  if (!bank_) return;
  const PlotArea area = PlotAreaOf(request());
  if (x < area.left || x > area.right) {
    cursor_.reset();
    Q_EMIT readoutChanged(QString());
  } else {
    cursor_ = PositionAtX(request(), x);
    Q_EMIT readoutChanged(QString::fromStdString(CursorReadout(*bank_, signals_, *cursor_, secondsPerSampling_)));
  }
  update();
}

}  // namespace quillon::view
