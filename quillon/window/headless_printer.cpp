#include "quillon/window/headless_printer.h"

#include <ostream>

namespace quillon {

void HeadlessPrinter::finishProgressLine() {
  if (!progressShown_) return;
  out_ << "\r\033[K" << std::flush;  // clear it; the next line takes its place
  progressShown_ = false;
  lastProgress_.clear();
}

void HeadlessPrinter::printLine(const std::string& text) {
  finishProgressLine();
  out_ << text << "\n" << std::flush;
}

void HeadlessPrinter::printStep(const Control& caption, const Control& marker) {
  if (marker.caption().empty()) return;  // Reset clears the markers; nothing to report
  printLine(caption.caption() + " " + marker.caption());
}

std::string HeadlessPrinter::progressText() const {
  const int box = controls_.shpBox.width();
  const int percent = box > 0 ? controls_.shpScale.width() * 100 / box : 0;
  return "  " + controls_.Label9.caption() + controls_.Label10.caption() + "  " + std::to_string(percent) + "%";
}

void HeadlessPrinter::refreshProgressLine() {
  if (!terminal_) return;
  const std::string text = progressText();
  if (text == lastProgress_) return;
  out_ << "\r\033[K" << text << std::flush;
  progressShown_ = true;
  lastProgress_ = text;
}

void HeadlessPrinter::controlChanged(const Control& c) {
  const WindowControls& w = controls_;
  if (&c == &w.Label7) printStep(w.Label3, w.Label7);
  else if (&c == &w.Label5) printStep(w.Label1, w.Label5);
  else if (&c == &w.Label6) printStep(w.Label2, w.Label6);
  else if (&c == &w.Label8) printStep(w.Label12, w.Label8);
  else if (&c == &w.Label1 && !w.Label5.caption().empty()) printStep(w.Label1, w.Label5);
  else if ((&c == &w.Label11 || &c == &w.Label4) && !c.caption().empty()) printLine(c.caption());
  else if (&c == &w.Label10 && !w.cmd_Start.enabled()) printLine("Banks " + w.Label9.caption() + c.caption());
  else if (&c == &w.Label9 && !terminal_ && c.caption() != "0") printLine("Bank " + c.caption() + w.Label10.caption());
  else if (&c == &w.Label9 || &c == &w.shpScale) refreshProgressLine();
}

}  // namespace quillon
