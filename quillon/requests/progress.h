#pragma once
// The progress bar as the download routines move it: `shpScale` grows inside its frame
// `shpBox`. Fractional widths collect in `ProgressAccumulator` until they round to a whole
// pixel; the accumulator is the window's and outlives a run.
#include <functional>

namespace quillon {

struct ProgressBar {
  std::function<int()> shpBoxWidth;
  std::function<int()> shpScaleWidth;
  std::function<void(int)> setShpScaleWidth;
};

class ProgressStep {
 public:
  ProgressStep(ProgressBar bar, double& ProgressAccumulator) : bar_(std::move(bar)), accumulator_(ProgressAccumulator) {}

  int boxWidth() const { return bar_.shpBoxWidth ? bar_.shpBoxWidth() : 0; }
  // Adds `width` to the accumulator; when it rounds (half to even) to n >= 1, moves n onto
  // the bar, which never grows past its frame. Taken once per sample: inline for the common
  // case, an accumulator that still rounds to 0.
  void advance(double width) {
    accumulator_ += width;
    if (accumulator_ <= 0.5) return;
    moveWholeUnits();
  }
  double accumulator() const { return accumulator_; }

 private:
  void moveWholeUnits();
  ProgressBar bar_;
  double& accumulator_;
};

// Width of one stored sample: the frame shared by all valid banks, then by the signal's
// depth and the bank's signals. 0 when any count is 0.
double SampleStepWidth(int boxWidth, int validBankCount, int depth, int signalsPerBank);

}  // namespace quillon
