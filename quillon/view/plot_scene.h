#pragma once
// The plot of a bank's chosen signals as plain shapes in pixel coordinates, one lane per
// signal over the sample index: the window paints it, the PNG and SVG exports and the
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

// What to draw. Sample indexes count from 1, as in the saved files.
struct PlotRequest {
  const Bank* bank = nullptr;
  std::vector<std::size_t> signals;  // indexes into bank->signals, one lane each
  double width = 800, height = 400;
  double firstSample = 1, lastSample = 1;  // the visible span of the x axis
  bool percent = false;                   // values as % of "PCTValue" where the signal has one
  std::optional<double> cursorSample;
  bool compact = false;  // a small multiple: frame, curve and fault marker only
};

// The whole span of the request's signals: 1 .. the deepest group's depth.
double DeepestSample(const Bank& bank, const std::vector<std::size_t>& signals);

PlotScene BuildPlotScene(const PlotRequest& request);

// The plot area's horizontal extent and the sample index under a pixel column.
struct PlotArea {
  double left = 0, right = 0, top = 0, bottom = 0;
};
PlotArea PlotAreaOf(const PlotRequest& request);
double SampleAtX(const PlotRequest& request, double x);

// Smallest and largest finite value of samples [begin, end) (0-based) per column, the
// columns splitting the span evenly; `lowFirst` tells which of the two came first.
struct ColumnRange {
  double low = 0, high = 0;
  bool lowFirst = true;
  bool empty = true;
};
std::vector<ColumnRange> MinMaxColumns(const double* samples, std::size_t begin, std::size_t end, std::size_t columns);

// The values of the chosen signals at a 1-based sample index, one per line: symbol, value as
// stored with its unit, and the percentage of "PCTValue" where the signal has one.
std::string CursorReadout(const Bank& bank, const std::vector<std::size_t>& signals, std::size_t sample);

// Shortest decimal text for an axis or readout value ("1.5", "-200", "0.001").
std::string ValueText(double value);

// The value of a signal's sample as plotted: as stored, or as % of "PCTValue".
std::optional<double> PlottedValue(const Signal& signal, double stored, bool percent);

}  // namespace quillon::view
