#include "quillon/run/save_sequence.h"

namespace quillon {
namespace {

void runStep(RunContext& run, const SaveStep& step) {
  if (step.when && !step.when(run)) {
    run.events.emit(StepChanged{step.id, StepState::Skipped});
    return;
  }
  run.events.emit(StepChanged{step.id, StepState::Started});
  run.events.emit(StepChanged{step.id, step.run(run)});
}

}  // namespace

const char* StepCaption(StepId step) {
  for (const SaveStep& entry : kSaveSequence)
    if (!entry.checkpoint && entry.id == step) return entry.caption;
  return "";
}

RunOutcome RunSaveSequence(RunContext& run, bool dbLoadTicked) {
  run.beginRun(dbLoadTicked);
  for (const SaveStep& step : kSaveSequence) {
    if (!step.checkpoint) runStep(run, step);
    else if (run.aborted()) break;
  }
  return run.endRun();
}

}  // namespace quillon
