#include "quillon/run/save_sequence.h"

namespace quillon {
namespace {

// Runs the step; true when it ended the run at one of its own checkpoints.
bool runStep(RunContext& run, const SaveStep& step) {
  if (step.when && !step.when(run)) {
    run.events.emit(StepChanged{step.id, StepState::Skipped});
    return false;
  }
  const bool abortedBefore = run.aborted();
  run.events.emit(StepChanged{step.id, StepState::Started});
  StepState state = step.run(run);
  if (!abortedBefore && run.aborted()) run.failedStep = step.caption;
  // An abort without an error text is the user's Cancel.
  if (state == StepState::Failed && run.x().ErrorText.empty()) state = StepState::Cancelled;
  run.events.emit(StepChanged{step.id, state});
  return run.stoppedAtCheckpoint();
}

}  // namespace

const char* StepCaption(StepId step) {
  for (const SaveStep& entry : kSaveSequence)
    if (!entry.checkpoint && entry.id == step) return entry.caption;
  return "";
}

RunOutcome RunSaveSequence(RunContext& run, bool dbLoadTicked) {
  run.beginRun(dbLoadTicked);
  for (const SaveStep& step : kSaveSequence)
    if (step.checkpoint ? run.checkpoint() : runStep(run, step)) break;
  return run.endRun();
}

}  // namespace quillon
