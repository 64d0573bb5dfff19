#pragma once
// What a headless run shows instead of the window: each step caption with its marker as it
// changes, the drive type line, the bank count and the warning line; on a terminal also one
// progress line (banks read, bar percentage) that is rewritten in place.
#include <iosfwd>
#include <string>

#include "quillon/window/window_controls.h"

namespace quillon {

class HeadlessPrinter {
 public:
  HeadlessPrinter(const WindowControls& controls, std::ostream& out, bool terminal)
      : controls_(controls), out_(out), terminal_(terminal) {}

  // Feed every control change here (WindowControls' observer).
  void controlChanged(const Control& control);
  // Ends the progress line so that what follows starts on a line of its own.
  void finishProgressLine();

 private:
  void printLine(const std::string& text);
  void printStep(const Control& caption, const Control& marker);
  void refreshProgressLine();
  std::string progressText() const;

  const WindowControls& controls_;
  std::ostream& out_;
  bool terminal_;
  bool progressShown_ = false;
  std::string lastProgress_;
};

}  // namespace quillon
