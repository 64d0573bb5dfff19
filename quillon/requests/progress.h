#pragma once
// The progress bar as the download routines move it: `shpScale` grows inside its frame
// `shpBox`. Fractional widths collect in `ProgressAccumulator` until they round to a whole
// pixel; the accumulator is the program's one and outlives a run and Reset.
#include <functional>

namespace quillon {

class ProgressBar {
 public:
  // The 100 % width of the bar: `shpBox`'s width in pixels of the window.
  static constexpr int kBoxWidth = 360;
  using Listener = std::function<void(int scaleWidth)>;

  // Told of every change of the bar's width (the window and the terminal show it).
  void setListener(Listener listener) { listener_ = std::move(listener); }

  int boxWidth() const { return kBoxWidth; }
  int scaleWidth() const { return scaleWidth_; }
  double accumulator() const { return ProgressAccumulator_; }

  // Adds `width` to the accumulator; when it rounds (half to even) to n >= 1, moves n onto
  // the bar, which never grows past its frame. Taken once per sample: inline for the common
  // case, an accumulator that still rounds to 0.
  void advance(double width) {
    ProgressAccumulator_ += width;
    if (ProgressAccumulator_ <= 0.5) return;
    moveWholeUnits();
  }
  void setScaleWidth(int width);
  void fill() { setScaleWidth(kBoxWidth); }
  void clear() { setScaleWidth(0); }

 private:
  void moveWholeUnits();
  Listener listener_;
  int scaleWidth_ = 0;
  double ProgressAccumulator_ = 0;
};

// Width of one stored sample: the frame shared by all valid banks, then by the signal's
// depth and the bank's signals. 0 when any count is 0.
double SampleStepWidth(int boxWidth, int validBankCount, int depth, int signalsPerBank);

}  // namespace quillon
