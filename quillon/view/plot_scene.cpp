#include "quillon/view/plot_scene.h"

#include <algorithm>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace quillon::view {

namespace {

constexpr Rgb kPalette[] = {0x1f77b4, 0xd62728, 0x2ca02c, 0x9467bd, 0xff7f0e, 0x17becf, 0x8c564b, 0xe377c2};
constexpr Rgb kFaultColour = 0xc00000;
constexpr Rgb kGridColour = 0xe4e4e4;
constexpr Rgb kFrameColour = 0xa0a0a0;
constexpr Rgb kAxisText = 0x404040;
constexpr Rgb kCursorColour = 0x606060;

// Full plot: room for the value labels left and the sample axis below; each lane has a
// title line above its area.
constexpr double kLeftMargin = 76, kRightMargin = 12, kTopMargin = 6, kBottomMargin = 30;
constexpr double kLaneTitle = 17, kLaneGap = 8;
// Small multiple: room for a few short tick labels.
constexpr double kCompactLeft = 36, kCompactRight = 4, kCompactTop = 4, kCompactBottom = 13;
constexpr double kFaultLabelRoom = 34;  // "fault" beside its line, flipped to the left near the edge

struct Lane {
  double top = 0, bottom = 0;  // the lane's plot area
  double low = 0, high = 1;    // value range shown
};

Rgb laneColour(std::size_t lane) { return kPalette[lane % std::size(kPalette)]; }

// The visible span, widened when it is empty so the mapping stays finite.
std::pair<double, double> visibleSpan(const PlotRequest& r) {
  double first = r.first, last = r.last;
  if (!(last > first)) last = first + 1;
  return {first, last};
}

double xOf(const PlotRequest& r, const PlotArea& area, double position) {
  const auto [first, last] = visibleSpan(r);
  return area.left + (position - first) / (last - first) * (area.right - area.left);
}

double yOf(const Lane& lane, double value) {
  return lane.bottom - (value - lane.low) / (lane.high - lane.low) * (lane.bottom - lane.top);
}

// 0-based sample indexes [begin, end) of a signal inside the visible span.
std::pair<std::size_t, std::size_t> visibleIndexes(const PlotRequest& r, const Signal& signal) {
  const std::size_t depth = r.bank->depthOf(signal);
  const AxisMapping mapping = r.bank->axisOf(signal, r.secondsPerSampling);
  const auto [firstPosition, lastPosition] = visibleSpan(r);
  const double first = mapping.sampleAt(firstPosition), last = mapping.sampleAt(lastPosition);
  const double begin = std::clamp(std::floor(first) - 1, 0.0, static_cast<double>(depth));
  const double end = std::clamp(std::ceil(last), 0.0, static_cast<double>(depth));
  return {static_cast<std::size_t>(begin), static_cast<std::size_t>(std::max(begin, end))};
}

void valueRange(const PlotRequest& r, const Signal& signal, Lane& lane) {
  const Bank& bank = *r.bank;
  const double* samples = bank.signalSamples(static_cast<std::size_t>(signal.number - 1));
  const auto [begin, end] = visibleIndexes(r, signal);
  double low = INFINITY, high = -INFINITY;
  for (std::size_t i = begin; i < end; ++i)
    if (auto v = PlottedValue(signal, samples[i], r.percent)) {
      low = std::min(low, *v);
      high = std::max(high, *v);
    }
  if (!(low <= high)) low = 0, high = 1;
  if (high == low) {
    const double pad = high == 0 ? 1.0 : std::fabs(high) * 0.05;
    low -= pad, high += pad;
  } else {
    const double pad = (high - low) * 0.06;
    low -= pad, high += pad;
  }
  lane.low = low, lane.high = high;
}

// The curve of one lane: every sample when each pixel column holds at most one, otherwise
// per column its smallest and largest value in the order they came. A sample or column that
// holds nothing ends one line and the next value starts another: no line crosses a gap.
std::vector<ScenePath> curveOf(const PlotRequest& r, const PlotArea& area, const Lane& lane, const Signal& signal,
                               Rgb colour) {
  const Bank& bank = *r.bank;
  const double* samples = bank.signalSamples(static_cast<std::size_t>(signal.number - 1));
  const std::size_t depth = bank.depthOf(signal);
  const AxisMapping mapping = bank.axisOf(signal, r.secondsPerSampling);
  const auto xOfSample = [&](double sample) { return xOf(r, area, mapping.positionOf(sample)); };
  std::vector<ScenePath> lines;
  auto point = [&](double x, std::optional<double> value, bool joined) {
    if (!value) return;
    if (lines.empty() || !joined) lines.push_back({{}, colour, 1.0, false});  // wider lines take the slow stroker
    lines.back().points.push_back({x, yOf(lane, *value)});
  };
  auto [begin, end] = visibleIndexes(r, signal);
  // One sample beyond each edge, so the line runs to the frame.
  begin = begin > 0 ? begin - 1 : 0;
  end = std::min(depth, end + 1);
  if (begin >= end) return lines;
  const double x0 = xOfSample(static_cast<double>(begin + 1));
  const double x1 = xOfSample(static_cast<double>(end));
  const double columns = std::max(1.0, std::floor(x1 - x0));
  bool joined = false;
  if (static_cast<double>(end - begin) <= columns * 1.5) {
    for (std::size_t i = begin; i < end; ++i) {
      const auto value = PlottedValue(signal, samples[i], r.percent);
      point(xOfSample(static_cast<double>(i + 1)), value, joined);
      joined = value.has_value();
    }
    return lines;
  }
  const auto perColumn = MinMaxColumns(samples, begin, end, static_cast<std::size_t>(columns));
  const double step = (x1 - x0) / static_cast<double>(perColumn.size());
  for (std::size_t c = 0; c < perColumn.size(); ++c) {
    const ColumnRange& column = perColumn[c];
    const double x = x0 + (static_cast<double>(c) + 0.5) * step;
    const auto first = column.empty ? std::nullopt : PlottedValue(signal, column.lowFirst ? column.low : column.high, r.percent);
    const auto second = column.empty ? std::nullopt : PlottedValue(signal, column.lowFirst ? column.high : column.low, r.percent);
    point(x, first, joined);
    if (first && second && *second != *first) point(x, second, true);
    joined = first.has_value();
  }
  return lines;
}

// Up to about `count` round steps over [low, high].
std::vector<double> niceTicks(double low, double high, int count) {
  std::vector<double> result;
  if (!(high > low) || count < 1) return result;
  const double raw = (high - low) / count;
  const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  double step = magnitude;
  for (double factor : {1.0, 2.0, 2.5, 5.0, 10.0})
    if (magnitude * factor >= raw) {
      step = magnitude * factor;
      break;
    }
  for (double t = std::ceil(low / step) * step; t <= high + step * 1e-9; t += step)
    result.push_back(std::fabs(t) < step * 1e-9 ? 0.0 : t);
  return result;
}

// Round values about `count` apart; a finer step where the round one leaves fewer than two
// inside the range (-990..990 by 1000 would show 0 alone).
std::vector<double> ticks(double low, double high, int count) {
  std::vector<double> result = niceTicks(low, high, count);
  for (int finer = count + 1; result.size() < 2 && finer <= count + 8; ++finer) result = niceTicks(low, high, finer);
  return result;
}

std::string laneTitle(const PlotRequest& r, const Signal& signal) {
  const Bank& bank = *r.bank;
  std::string title = signal.symbol;
  if (!signal.longName.empty() && signal.longName != signal.symbol) title += "  " + signal.longName;
  title += r.percent ? "  [" + ShownQuantity(signal) + "]" : std::string("  [stored value]");
  const AxisMapping mapping = bank.axisOf(signal, r.secondsPerSampling);
  if (const SampleGroup* group = bank.groupOf(signal)) {
    title += "   group " + std::to_string(group->number) + ", sampling " + std::to_string(group->sampling);
    if (!mapping.fromFault) title += ", no fault sample: x from its first sample";
  } else {
    title += "   group not recorded: x in samples from its first";
  }
  if (r.secondsPerSampling && bank.groupOf(signal) && !mapping.timed) title += ", x in samples";
  return title;
}

// Each segment cut to the rectangle by its parameter range
// (Liang-Barsky), so that a curve drawn after zoom or pan never leaves its frame.
std::vector<ScenePath> clippedTo(const ScenePath& path, const PlotArea& box) {
  std::vector<ScenePath> pieces;
  const auto clipSegment = [&](ScenePoint a, ScenePoint b, ScenePoint& from, ScenePoint& to) {
    double t0 = 0, t1 = 1;
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double p[] = {-dx, dx, -dy, dy};
    const double q[] = {a.x - box.left, box.right - a.x, a.y - box.top, box.bottom - a.y};
    for (int i = 0; i < 4; ++i) {
      if (p[i] == 0) {
        if (q[i] < 0) return false;
        continue;
      }
      const double t = q[i] / p[i];
      if (p[i] < 0) t0 = std::max(t0, t);
      else t1 = std::min(t1, t);
      if (t0 > t1) return false;
    }
    from = {a.x + t0 * dx, a.y + t0 * dy};
    to = {a.x + t1 * dx, a.y + t1 * dy};
    return true;
  };
  const auto inside = [&](const ScenePoint& p) {
    return p.x >= box.left && p.x <= box.right && p.y >= box.top && p.y <= box.bottom;
  };
  if (path.points.size() == 1) {
    if (inside(path.points[0])) pieces.push_back(path);
    return pieces;
  }
  bool open = false;
  for (std::size_t i = 1; i < path.points.size(); ++i) {
    ScenePoint from, to;
    if (!clipSegment(path.points[i - 1], path.points[i], from, to)) {
      open = false;
      continue;
    }
    if (!open) {
      pieces.push_back({{from}, path.colour, path.width, path.dashed});
      open = true;
    }
    pieces.back().points.push_back(to);
    // A segment cut at its end leaves the box: the next one starts a new piece.
    if (to.x != path.points[i].x || to.y != path.points[i].y) open = false;
  }
  return pieces;
}

void addLane(PlotScene& scene, const PlotRequest& r, const PlotArea& area, const Lane& lane, const Signal& signal,
             std::size_t index) {
  const Bank& bank = *r.bank;
  const Rgb colour = laneColour(index);
  scene.rects.push_back({area.left, lane.top, area.right - area.left, lane.bottom - lane.top, 0xffffff, kFrameColour});
  const double tickSize = r.compact ? 8 : 10;
  const double tickSpacing = r.compact ? 18 : 28;
  // Two ticks at least: a lone 0 says nothing of the range.
  for (double t : ticks(lane.low, lane.high, std::max(2, static_cast<int>((lane.bottom - lane.top) / tickSpacing)))) {
    const double y = yOf(lane, t);
    scene.paths.push_back({{{area.left, y}, {area.right, y}}, kGridColour, 1, false});
    scene.texts.push_back({area.left - 3, y + tickSize * 0.35, ValueText(t), tickSize, kAxisText, SceneText::Anchor::End, false});
  }
  if (!r.compact)
    scene.texts.push_back({area.left, lane.top - 5, laneTitle(r, signal), 11, colour, SceneText::Anchor::Start, true});
  const AxisMapping mapping = bank.axisOf(signal, r.secondsPerSampling);
  if (auto fault = bank.faultSampleOf(signal)) {
    const double x = xOf(r, area, mapping.positionOf(static_cast<double>(*fault)));
    if (x >= area.left - 0.5 && x <= area.right + 0.5) {
      scene.paths.push_back({{{x, lane.top}, {x, lane.bottom}}, kFaultColour, 1, true});
      const double stored = bank.signalSamples(static_cast<std::size_t>(signal.number - 1))[*fault - 1];
      if (auto v = PlottedValue(signal, stored, r.percent))
        scene.dots.push_back({x, yOf(lane, *v), r.compact ? 2.0 : 3.0, kFaultColour});
      if (!r.compact) {
        const bool roomRight = x + kFaultLabelRoom <= area.right;
        scene.texts.push_back({roomRight ? x + 3 : x - 3, lane.top + 11, "fault", 10, kFaultColour,
                               roomRight ? SceneText::Anchor::Start : SceneText::Anchor::End, false});
      }
    }
  }
  const PlotArea laneBox{area.left, area.right, lane.top, lane.bottom};
  for (const ScenePath& line : curveOf(r, area, lane, signal, colour))
    for (ScenePath& piece : clippedTo(line, laneBox)) scene.paths.push_back(std::move(piece));
}

void addSampleAxis(PlotScene& scene, const PlotRequest& r, const PlotArea& area) {
  const auto [first, last] = visibleSpan(r);
  const double size = r.compact ? 8 : 10;
  const int count = std::max(2, static_cast<int>((area.right - area.left) / (r.compact ? 60 : 90)));
  for (double t : ticks(first, last, count)) {
    const double x = xOf(r, area, t);
    scene.paths.push_back({{{x, area.bottom}, {x, area.bottom + 3}}, kAxisText, 1, false});
    // The outermost labels stay inside the picture.
    SceneText::Anchor anchor = SceneText::Anchor::Middle;
    if (x - area.left < 12 && area.left < 20) anchor = SceneText::Anchor::Start;
    if (r.width - x < 14) anchor = SceneText::Anchor::End;
    scene.texts.push_back({x, area.bottom + size + 2, ValueText(t), size, kAxisText, anchor, false});
  }
  if (!r.compact)
    scene.texts.push_back({area.right, area.bottom + 27, AxisCaption(r.secondsPerSampling), 10, kAxisText,
                           SceneText::Anchor::End, false});
}

}  // namespace

std::string ValueText(double value) {
  if (!std::isfinite(value)) return "-";
  char text[32];
  // Six significant digits are what a plot or readout can show; the export keeps them all.
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

std::string AxisCaption(std::optional<double> secondsPerSampling) {
  return secondsPerSampling ? "seconds from the fault" : "samples from the fault";
}

std::optional<std::size_t> SampleNearest(const Bank& bank, const Signal& signal, double position,
                                         std::optional<double> secondsPerSampling) {
  const double sample = std::round(bank.axisOf(signal, secondsPerSampling).sampleAt(position));
  if (!(sample >= 1) || sample > static_cast<double>(bank.depthOf(signal))) return std::nullopt;
  return static_cast<std::size_t>(sample);
}

std::string CursorReadout(const Bank& bank, const std::vector<std::size_t>& signals, double position,
                          std::optional<double> secondsPerSampling) {
  std::string text = ValueText(position) + " " + AxisCaption(secondsPerSampling);
  for (std::size_t index : signals) {
    if (index >= bank.signals.size()) continue;
    const Signal& signal = bank.signals[index];
    text += "\n" + signal.symbol + " = ";
    const auto sample = SampleNearest(bank, signal, position, secondsPerSampling);
    const double value = sample ? bank.signalSamples(index)[*sample - 1] : NAN;
    if (!std::isfinite(value)) {
      text += "-";
      continue;
    }
    text += ValueText(ShownValue(signal, value));
    if (const std::string unit = ShownUnit(signal); !unit.empty()) text += " " + unit + " (stored " + ValueText(value) + ")";
    text += "  (sample " + std::to_string(*sample) + (bank.faultSampleOf(signal) == sample ? ", the fault)" : ")");
  }
  return text;
}

std::optional<double> PlottedValue(const Signal& signal, double stored, bool percent) {
  if (!std::isfinite(stored)) return std::nullopt;
  return percent ? ShownValue(signal, stored) : stored;
}

std::vector<ColumnRange> MinMaxColumns(const double* samples, std::size_t begin, std::size_t end,
                                       std::size_t columns) {
  std::vector<ColumnRange> result(columns);
  if (columns == 0 || end <= begin) return result;
  const std::size_t count = end - begin;
  for (std::size_t c = 0; c < columns; ++c) {
    const std::size_t from = begin + c * count / columns, to = begin + (c + 1) * count / columns;
    ColumnRange& column = result[c];
    std::size_t lowAt = 0, highAt = 0;
    for (std::size_t i = from; i < to; ++i) {
      const double v = samples[i];
      if (!std::isfinite(v)) continue;
      if (column.empty || v < column.low) column.low = v, lowAt = i;
      if (column.empty || v > column.high) column.high = v, highAt = i;
      column.empty = false;
    }
    column.lowFirst = lowAt <= highAt;
  }
  return result;
}

AxisSpan WholeSpan(const Bank& bank, const std::vector<std::size_t>& signals, std::optional<double> secondsPerSampling) {
  double first = INFINITY, last = -INFINITY;
  for (std::size_t index : signals) {
    if (index >= bank.signals.size()) continue;
    const Signal& signal = bank.signals[index];
    const AxisMapping mapping = bank.axisOf(signal, secondsPerSampling);
    first = std::min(first, mapping.positionOf(1));
    last = std::max(last, mapping.positionOf(static_cast<double>(std::max<std::size_t>(1, bank.depthOf(signal)))));
  }
  if (!(first <= last)) return {};
  if (last == first) last = first + 1;
  return {first, last};
}

PlotArea PlotAreaOf(const PlotRequest& r) {
  if (r.compact)
    return {kCompactLeft, std::max(kCompactLeft + 4, r.width - kCompactRight), kCompactTop,
            std::max(kCompactTop + 4, r.height - kCompactBottom)};
  return {kLeftMargin, std::max(kLeftMargin + 10, r.width - kRightMargin), kTopMargin,
          std::max(kTopMargin + 10, r.height - kBottomMargin)};
}

double PositionAtX(const PlotRequest& r, double x) {
  const PlotArea area = PlotAreaOf(r);
  const auto [first, last] = visibleSpan(r);
  return first + (x - area.left) / (area.right - area.left) * (last - first);
}

PlotScene WithTitleLine(PlotScene scene, const std::string& title) {
  constexpr double kTitleBand = 26, kTitleSize = 14, kTitleBaseline = 18, kTitleLeft = 8;
  for (SceneRect& r : scene.rects) r.y += kTitleBand;
  for (ScenePath& p : scene.paths)
    for (ScenePoint& point : p.points) point.y += kTitleBand;
  for (SceneDot& d : scene.dots) d.y += kTitleBand;
  for (SceneText& t : scene.texts) t.y += kTitleBand;
  SceneText line;
  line.x = kTitleLeft;
  line.y = kTitleBaseline;
  line.text = title;
  line.size = kTitleSize;
  line.bold = true;
  scene.texts.push_back(line);
  scene.height += kTitleBand;
  return scene;
}

PlotScene BuildPlotScene(const PlotRequest& r) {
  assert(r.bank);
  PlotScene scene;
  scene.width = r.width, scene.height = r.height;
  scene.rects.push_back({0, 0, r.width, r.height, 0xffffff, std::nullopt});
  const PlotArea area = PlotAreaOf(r);
  std::vector<std::size_t> shown;
  for (std::size_t index : r.signals)
    if (index < r.bank->signals.size()) shown.push_back(index);
  if (shown.empty()) {
    if (!r.compact)
      scene.texts.push_back({r.width / 2, r.height / 2, "Choose signals to plot", 13, kAxisText,
                             SceneText::Anchor::Middle, false});
    return scene;
  }
  const double titleRoom = r.compact ? 0 : kLaneTitle;
  const double gap = r.compact ? 0 : kLaneGap;
  const double laneHeight = (area.bottom - area.top) / static_cast<double>(shown.size());
  for (std::size_t n = 0; n < shown.size(); ++n) {
    const Signal& signal = r.bank->signals[shown[n]];
    Lane lane;
    lane.top = area.top + laneHeight * static_cast<double>(n) + titleRoom;
    lane.bottom = std::max(lane.top + 2, area.top + laneHeight * static_cast<double>(n + 1) - gap);
    valueRange(r, signal, lane);
    addLane(scene, r, area, lane, signal, n);
  }
  addSampleAxis(scene, r, area);
  if (r.cursor) {
    const double x = xOf(r, area, *r.cursor);
    if (x >= area.left && x <= area.right)
      scene.paths.push_back({{{x, area.top}, {x, area.bottom}}, kCursorColour, 1, false});
  }
  return scene;
}

}  // namespace quillon::view
