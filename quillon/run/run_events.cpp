#include "quillon/run/run_events.h"

#include <algorithm>

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

}  // namespace quillon
