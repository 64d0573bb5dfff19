#include "quillon/run/run_events.h"

#include <algorithm>

namespace quillon {

const char* StepCaption(StepId step) {
  switch (step) {
    case StepId::ClearWorkingFolder: return "Clearing the working folder";
    case StepId::Connect: return "Connecting to Drive";
    case StepId::DriveInformation: return "Reading the drive information";
    case StepId::DriveDatabase: return "Receiving Drive Database";
    case StepId::TraceBack: return "Receiving Trace Back Data";
    case StepId::TroubleRecords: return "Receiving trouble records and event counters";
    case StepId::SettingParameters: return "Receiving Setting Parameter";
    case StepId::SettingFiles: return "Writing the setting parameters and event log";
    case StepId::DriveStatus: return "Receiving the drive status";
    case StepId::Conversion: return "Converting the save folder";
    case StepId::PackOrMove: return "Compress the files";
  }
  return "";
}

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
