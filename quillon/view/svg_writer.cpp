#include "quillon/view/svg_writer.h"

#include <cmath>
#include <cstdio>

namespace quillon::view {

namespace {

// Coordinates as fixed-point integers of the chosen precision, so that paths can be written
// relative and repeated points dropped.
struct Fixed {
  long long x = 0, y = 0;
  bool operator==(const Fixed&) const = default;
};

class Number {
 public:
  explicit Number(int decimals) : decimals_(decimals), scale_(std::pow(10.0, decimals)) {}
  long long fixed(double value) const { return std::llround(value * scale_); }
  std::string text(long long value) const {
    if (decimals_ == 0) return std::to_string(value);
    char buffer[40];
    const long long whole = static_cast<long long>(scale_);
    const long long magnitude = value < 0 ? -value : value;
    std::snprintf(buffer, sizeof buffer, "%s%lld.%0*lld", value < 0 ? "-" : "", magnitude / whole, decimals_,
                  magnitude % whole);
    std::string t = buffer;
    while (t.back() == '0') t.pop_back();
    if (t.back() == '.') t.pop_back();
    if (t == "-0") t = "0";
    return t;
  }
  std::string text(double value) const { return text(fixed(value)); }

 private:
  int decimals_;
  double scale_;
};

bool between(long long a, long long b, long long c) { return (a <= b && b <= c) || (a >= b && b >= c); }

// Drops repeated points and the middle one of three on one vertical or horizontal line.
std::vector<Fixed> reduced(const std::vector<ScenePoint>& points, const Number& number) {
  std::vector<Fixed> out;
  for (const ScenePoint& p : points) {
    const Fixed f{number.fixed(p.x), number.fixed(p.y)};
    if (!out.empty() && out.back() == f) continue;
    if (out.size() >= 2) {
      const Fixed& a = out[out.size() - 2];
      const Fixed& b = out.back();
      if ((a.x == b.x && b.x == f.x && between(a.y, b.y, f.y)) || (a.y == b.y && b.y == f.y && between(a.x, b.x, f.x))) {
        out.back() = f;
        continue;
      }
    }
    out.push_back(f);
  }
  return out;
}

std::string pathData(const std::vector<ScenePoint>& points, const Number& number) {
  const std::vector<Fixed> fixed = reduced(points, number);
  std::string d;
  if (fixed.empty()) return d;
  d = "M" + number.text(fixed[0].x) + " " + number.text(fixed[0].y);
  for (std::size_t i = 1; i < fixed.size(); ++i) {
    const long long dx = fixed[i].x - fixed[i - 1].x, dy = fixed[i].y - fixed[i - 1].y;
    if (dx == 0) d += "v" + number.text(dy);
    else if (dy == 0) d += "h" + number.text(dx);
    else d += "l" + number.text(dx) + (dy < 0 ? "" : " ") + number.text(dy);
  }
  return d;
}

const char* anchorText(SceneText::Anchor anchor) {
  switch (anchor) {
    case SceneText::Anchor::Start: return "start";
    case SceneText::Anchor::Middle: return "middle";
    case SceneText::Anchor::End: return "end";
  }
  return "start";
}

}  // namespace

std::string ColourText(Rgb colour) {
  char text[8];
  std::snprintf(text, sizeof text, "#%06x", colour & 0xffffffu);
  return text;
}

std::string EscapeXml(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default:
        // Control characters are not allowed in XML text.
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n') out += ' ';
        else out += c;
    }
  }
  return out;
}

std::string SceneToSvg(const PlotScene& scene, const SvgOptions& options) {
  const Number n(options.decimals);
  std::string svg;
  if (options.standalone) svg += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " + n.text(scene.width) + " " + n.text(scene.height) + "\"";
  if (options.scalable) svg += " width=\"100%\"";
  else svg += " width=\"" + n.text(scene.width) + "\" height=\"" + n.text(scene.height) + "\"";
  svg += " font-family=\"sans-serif\">";
  for (const SceneRect& r : scene.rects) {
    svg += "<rect x=\"" + n.text(r.x) + "\" y=\"" + n.text(r.y) + "\" width=\"" + n.text(r.w) + "\" height=\"" +
           n.text(r.h) + "\" fill=\"" + (r.fill ? ColourText(*r.fill) : "none") + "\"";
    if (r.stroke) svg += " stroke=\"" + ColourText(*r.stroke) + "\"";
    svg += "/>";
  }
  for (const ScenePath& p : scene.paths) {
    const std::string d = pathData(p.points, n);
    if (d.empty()) continue;
    svg += "<path fill=\"none\" stroke=\"" + ColourText(p.colour) + "\"";
    if (p.width != 1) svg += " stroke-width=\"" + Number(1).text(p.width) + "\"";
    if (p.dashed) svg += " stroke-dasharray=\"4 3\"";
    svg += " d=\"" + d + "\"/>";
  }
  for (const SceneDot& dot : scene.dots)
    svg += "<circle cx=\"" + n.text(dot.x) + "\" cy=\"" + n.text(dot.y) + "\" r=\"" + Number(1).text(dot.radius) +
           "\" fill=\"" + ColourText(dot.colour) + "\"/>";
  for (const SceneText& t : scene.texts) {
    svg += "<text x=\"" + n.text(t.x) + "\" y=\"" + n.text(t.y) + "\" font-size=\"" + Number(1).text(t.size) +
           "\" fill=\"" + ColourText(t.colour) + "\"";
    if (t.anchor != SceneText::Anchor::Start) svg += std::string(" text-anchor=\"") + anchorText(t.anchor) + "\"";
    if (t.bold) svg += " font-weight=\"bold\"";
    svg += ">" + EscapeXml(t.text) + "</text>";
  }
  svg += "</svg>";
  if (options.standalone) svg += "\n";
  return svg;
}

}  // namespace quillon::view
