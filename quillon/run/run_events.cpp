#include "quillon/run/run_events.h"

#include <algorithm>

#include "quillon/run/run_folders.h"

namespace quillon {

void RunEvents::add(RunListener& listener) { listeners_.push_back(&listener); }

void RunEvents::remove(RunListener& listener) {
  listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), &listener), listeners_.end());
}

void RunEvents::emit(const RunEvent& event) const {
  for (RunListener* listener : listeners_) listener->onRunEvent(event);
}

std::string DriveTypeLine(const std::string& DriveType) { return "DriveType = \"" + DriveType + "\""; }

std::string CompletionMessage(const std::filesystem::path& location) {
  return "Complete\r\nTraceback file location = " + location.string();
}

std::string ResendLine(const RequestResent& resent) {
  return "no answer to \"" + resent.request + "\": re-send " + std::to_string(resent.resend) + " of " +
         std::to_string(resent.of);
}

std::string BankLine(const BankStarted& started) {
  return "Bank " + std::to_string(started.bank) + " (" + std::to_string(started.position) + " of " +
         std::to_string(started.of) + ")";
}

std::string MemoryBlocksLine(const MemoryBlocksRead& read) {
  const char* area = read.area == MemoryArea::EventLog ? "Event log" : "Setting parameters";
  return std::string(area) + ": block " + std::to_string(read.done) + " of " + std::to_string(read.of);
}

namespace {

constexpr const char* kLineBreak = "\r\n";

std::string whereTheDataIs(const std::filesystem::path& location) {
  if (location.empty()) return "Nothing was saved.";
  std::string text = "The data read so far is in " + location.string();
  // The working folder itself: the next Start keeps it (see the step that clears it).
  if (location.filename() == kWorkingFolderName)
    text += kLineBreak + std::string("(the next Start keeps it as ") + kWorkingFolderName +
            "_<date>_<time>_incomplete)";
  return text;
}

}  // namespace

std::string ClosingMessage(const RunEnded& ended) {
  std::string text;
  switch (ended.outcome) {
    case RunOutcome::Completed: text = CompletionMessage(ended.location); break;
    case RunOutcome::Cancelled: text = "Cancelled"; break;
    case RunOutcome::Failed:
    case RunOutcome::NotRun:
      text = ended.message;
      if (!ended.failedStep.empty()) text += kLineBreak + std::string("Step: ") + ended.failedStep;
      break;
  }
  if (!ended.notices.empty()) {
    text += kLineBreak;
    for (const std::string& notice : ended.notices) text += kLineBreak + notice;
  }
  if (ended.outcome != RunOutcome::Completed) text += kLineBreak + std::string(kLineBreak) + whereTheDataIs(ended.location);
  return text;
}

}  // namespace quillon
