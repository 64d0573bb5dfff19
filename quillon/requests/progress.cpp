#include "quillon/requests/progress.h"

#include <algorithm>
#include <cmath>

namespace quillon {

void ProgressBar::moveWholeUnits() {
  const double whole = std::nearbyint(ProgressAccumulator_);  // half to even, as the bar always did
  if (whole < 1) return;
  const int n = static_cast<int>(whole);
  ProgressAccumulator_ -= n;
  setScaleWidth(std::min(scaleWidth_ + n, kBoxWidth));
}

void ProgressBar::setScaleWidth(int width) {
  if (width == scaleWidth_) return;
  scaleWidth_ = width;
  if (listener_) listener_(scaleWidth_);
}

double SampleStepWidth(int boxWidth, int validBankCount, int depth, int signalsPerBank) {
  if (validBankCount <= 0 || depth <= 0 || signalsPerBank <= 0) return 0;
  return static_cast<double>(boxWidth) / (static_cast<double>(validBankCount) * depth) / signalsPerBank;
}

}  // namespace quillon
