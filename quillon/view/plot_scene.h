#pragma once
// The plot of a bank's chosen signals as plain shapes in pixel coordinates, one lane per
// signal over the samples from the fault: the window paints it, the PNG and SVG exports and the
// report's small multiples are made from it. Each curve is reduced to what the width can
// show: per pixel column the smallest and the largest sample, so that no peak is lost.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "quillon/view/save_model.h"

namespace quillon::view {

using Rgb = std::uint32_t;  // 0xRRGGBB

struct ScenePoint {
  double x = 0, y = 0;
};
struct ScenePath {
  std::vector<ScenePoint> points;
  Rgb colour = 0;
  double width = 1;
  bool dashed = false;
};
struct SceneRect {
  double x = 0, y = 0, w = 0, h = 0;
  std::optional<Rgb> fill, stroke;
};
struct SceneDot {
  double x = 0, y = 0, radius = 2;
  Rgb colour = 0;
};
struct SceneText {
  enum class Anchor { Start, Middle, End };
  double x = 0, y = 0;  // baseline
  std::string text;
  double size = 11;
  Rgb colour = 0x202020;
  Anchor anchor = Anchor::Start;
  bool bold = false;
};

struct PlotScene {
  double width = 0, height = 0;
  std::vector<SceneRect> rects;  // drawn first
  std::vector<ScenePath> paths;
  std::vector<SceneDot> dots;
  std::vector<SceneText> texts;  // drawn last
};

// What to draw. The x axis counts from each group's fault sample (0 = the fault), so that
// the groups line up there: in samples, or in seconds where `secondsPerSampling` says what
// one sampling value means in time.
struct PlotRequest {
  const Bank* bank = nullptr;
  std::vector<std::size_t> signals;  // indexes into bank->signals, one lane each
  double width = 800, height = 400;
  double first = 0, last = 1;  // the visible span of the x axis
  bool percent = false;        // values as % of "PCTValue" where the signal has one
  std::optional<double> secondsPerSampling;
  std::optional<double> cursor;  // x axis position
  bool compact = false;  // a small multiple: frame, curve, fault marker and a few ticks
};

// The x axis span that holds every sample of the signals.
struct AxisSpan {
  double first = 0, last = 1;
};
AxisSpan WholeSpan(const Bank& bank, const std::vector<std::size_t>& signals,
                   std::optional<double> secondsPerSampling = std::nullopt);

// "samples from the fault", or "seconds from the fault" where the sampling time is known.
std::string AxisCaption(std::optional<double> secondsPerSampling);

PlotScene BuildPlotScene(const PlotRequest& request);
// The scene moved down under a bold title line, so that an exported or printed plot says on
// its own which drive, bank and fault it shows.
PlotScene WithTitleLine(PlotScene scene, const std::string& title);

// The plot area's extent and the x axis position under a pixel column.
struct PlotArea {
  double left = 0, right = 0, top = 0, bottom = 0;
};
PlotArea PlotAreaOf(const PlotRequest& request);
double PositionAtX(const PlotRequest& request, double x);

// Smallest and largest finite value of samples [begin, end) (0-based) per column, the
// columns splitting the span evenly; `lowFirst` tells which of the two came first.
struct ColumnRange {
  double low = 0, high = 0;
  bool lowFirst = true;
  bool empty = true;
};
std::vector<ColumnRange> MinMaxColumns(const double* samples, std::size_t begin, std::size_t end, std::size_t columns);

// The values of the chosen signals at an x axis position, one line each: symbol, value
// (% of the 100 % value where the signal has one, else as stored) and the sample it is.
std::string CursorReadout(const Bank& bank, const std::vector<std::size_t>& signals, double position,
                          std::optional<double> secondsPerSampling = std::nullopt);

// The sample of a signal nearest to an x axis position, 1-based, inside its depth.
std::optional<std::size_t> SampleNearest(const Bank& bank, const Signal& signal, double position,
                                         std::optional<double> secondsPerSampling = std::nullopt);

// Shortest decimal text for an axis or readout value ("1.5", "-200", "0.001").
std::string ValueText(double value);

// The value of a signal's sample as plotted: as stored, or as % of "PCTValue".
std::optional<double> PlottedValue(const Signal& signal, double stored, bool percent);

}  // namespace quillon::view
