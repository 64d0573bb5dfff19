#pragma once
// The plot of the chosen signals of one bank: one lane per signal, zoom with the wheel or
// the buttons, pan by dragging, a cursor whose values show beside the plot.
#include <QImage>
#include <QWidget>

#include "quillon/view/plot_scene.h"

class QPainter;

namespace quillon::view {

void PaintScene(QPainter& painter, const PlotScene& scene);
// The scene on one page of `device` (a printer), as large as the page takes it unstretched.
void PrintScene(QPaintDevice& device, const PlotScene& scene);

class PlotWidget : public QWidget {
  Q_OBJECT
 public:
  explicit PlotWidget(QWidget* parent = nullptr);

  void setBank(const Bank* bank);
  void setSignals(std::vector<std::size_t> signals);
  void setPercent(bool percent);
  // What one sampling value means in seconds: the x axis becomes time from the fault.
  void setSecondsPerSampling(std::optional<double> seconds);

  void zoomIn();
  void zoomOut();
  void fit();
  // Zooms by `factor` (below 1: in) keeping the x axis `position` at its place.
  void zoomAround(double position, double factor);
  void panBy(double distance);

  // What is drawn now, for the exports.
  PlotRequest request() const;
  // The plot under the title line `title`, as a picture and as an SVG file.
  PlotScene titledScene(const std::string& title) const;
  QImage toImage(const std::string& title) const;
  std::string toSvg(const std::string& title) const;

  // The visible span of the x axis: samples (or seconds) from the fault.
  double first() const { return first_; }
  double last() const { return last_; }
  int paintCount() const { return paints_; }

 Q_SIGNALS:
  void readoutChanged(const QString& text);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  AxisSpan whole() const;
  void setSpan(double first, double last);
  void moveCursorTo(double x);

  const Bank* bank_ = nullptr;
  std::vector<std::size_t> signals_;
  bool percent_ = false;
  std::optional<double> secondsPerSampling_;
  double first_ = 0, last_ = 1;
  std::optional<double> cursor_;
  std::optional<double> dragFrom_;
  int paints_ = 0;
};

}  // namespace quillon::view
