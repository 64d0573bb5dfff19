#include "quillon/run/run_context.h"

namespace quillon {

std::tm LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local;
}

RunContext::RunContext(Exchange& exchange, RunFolders folders, RunSwitches switches, Clock clock)
    : exchange(exchange), folders(std::move(folders)), switches(std::move(switches)), clock(std::move(clock)) {
  databases.driveDbOptions.jet3CodePage = codePage().name();
  progress.setListener([this](int width) { events.emit(ProgressMoved{width, progress.boxWidth()}); });
  exchange.setResendListener(
      [this](int resend, int of, std::string_view request) {
        events.emit(RequestResent{resend, of, std::string(request)});
      },
      [this](std::string_view request) { events.emit(RequestAnswered{std::string(request)}); });
}

RunContext::~RunContext() { exchange.setResendListener({}); }

void RunContext::beginRun(bool dbLoadTicked) {
  ExchangeState& s = x();
  s.AbortFlag = false;
  s.ReplyFlag = false;
  s.ErrorText.clear();
  s.RetryCount = 0;
  traceBack.clearGroups();
  ValidBankCount = 0;
  RecordedBankCount = 0;
  dbLoad = dbLoadTicked;
  saveLocation.clear();
  folderToOpen.clear();
  workingFolderIsThisRuns = false;
  notices.clear();
  failedStep.clear();
  stoppedAtCheckpoint_ = false;
}

void RunContext::notice(std::string text) {
  notices.push_back(text);
  events.emit(Notice{std::move(text)});
}

RunOutcome RunContext::endRun() {
  const ExchangeState& s = x();
  RunOutcome outcome = RunOutcome::Completed;
  if (!s.ErrorText.empty()) outcome = RunOutcome::Failed;
  else if (s.AbortFlag) outcome = RunOutcome::Cancelled;
  // Packed or moved, the data is there; otherwise what the run wrote stays in the working folder.
  std::filesystem::path location = saveLocation;
  std::error_code ignored;
  if (location.empty() && workingFolderIsThisRuns && std::filesystem::is_directory(folders.workingFolder(), ignored))
    location = folders.workingFolder();
  // Everything is written by now; the next run into this folder may start as soon as it is told.
  programFolderLock.reset();
  RunEnded ended{outcome, s.ErrorText, outcome == RunOutcome::Failed ? failedStep : std::string(), location,
                 folderToOpen, RecordedBankCount == 0, notices};
  events.emit(ended);
  return outcome;
}

}  // namespace quillon
