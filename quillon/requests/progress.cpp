#include "quillon/requests/progress.h"

#include <algorithm>
#include <cmath>

namespace quillon {

void ProgressStep::moveWholeUnits() {
  const double whole = std::nearbyint(accumulator_);  // half to even, as the bar always did
  if (whole < 1) return;
  const int n = static_cast<int>(whole);
  accumulator_ -= n;
  if (!bar_.shpScaleWidth || !bar_.setShpScaleWidth) return;
  const int grown = bar_.shpScaleWidth() + n;
  bar_.setShpScaleWidth(bar_.shpBoxWidth ? std::min(grown, bar_.shpBoxWidth()) : grown);
}

double SampleStepWidth(int boxWidth, int validBankCount, int depth, int signalsPerBank) {
  if (validBankCount <= 0 || depth <= 0 || signalsPerBank <= 0) return 0;
  return static_cast<double>(boxWidth) / (static_cast<double>(validBankCount) * depth) / signalsPerBank;
}

}  // namespace quillon
