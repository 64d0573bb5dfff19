#pragma once
// A plot scene as SVG text: for the plot export (a file of its own) and inline in the report.
#include <string>
#include <string_view>

#include "quillon/view/plot_scene.h"

namespace quillon::view {

struct SvgOptions {
  int decimals = 1;        // coordinates rounded to this many decimals (0: whole pixels, smallest text)
  bool scalable = false;   // size by the page (width 100 %) instead of fixed pixels
  bool standalone = true;  // with the XML declaration, as a file of its own
};

std::string SceneToSvg(const PlotScene& scene, const SvgOptions& options);

// Text made safe for XML and HTML content and attribute values.
std::string EscapeXml(std::string_view text);

// "#rrggbb"
std::string ColourText(Rgb colour);

}  // namespace quillon::view
