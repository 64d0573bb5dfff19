#include "quillon/plant/watch_events.h"

#include <ctime>

#include "quillon/view/listing_text.h"

namespace quillon::plant {

namespace {

// Messages of the save run hold CR LF between their lines; an event is one line.
std::string oneLine(std::string text) {
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') continue;
    line += text[i] == '\n' ? ' ' : text[i];
  }
  return line;
}


const char* kindName(WatchEventKind kind) {
  switch (kind) {
    case WatchEventKind::DriveFound: return "found";
    case WatchEventKind::NewFault: return "newFault";
    case WatchEventKind::SaveStarted: return "saveStarted";
    case WatchEventKind::SaveEnded: return "saveEnded";
    case WatchEventKind::FaultSaved: return "faultSaved";
    case WatchEventKind::DriveSilent: return "silent";
    case WatchEventKind::DriveBack: return "back";
    case WatchEventKind::Notice: return "notice";
  }
  return "notice";
}

std::string localTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  return text;
}

std::string saveStartedText(const WatchEvent& e) {
  if (e.banks.empty()) return "save started (first save)";
  return std::string("save started (new fault in bank") + (e.banks.size() > 1 ? "s " : " ") + view::Joined(e.banks, ", ") + ")";
}

std::string saveEndedText(const WatchEvent& e) {
  std::string text = "save ended: " + e.outcome;
  if (!e.text.empty()) text += ": " + oneLine(e.text);
  if (e.outcome == "completed") return text + ", data in " + e.folder.string();
  if (e.folder.empty()) return text + "; nothing was saved";
  return text + "; the data read so far is in " + e.folder.string();
}

}  // namespace

std::string WatchEventLine(const WatchEvent& e) {
  std::string text;
  switch (e.kind) {
    case WatchEventKind::DriveFound:
      text = "drive found: " + e.driveType + " \"" + e.panelName + "\", folder " + e.folder.string();
      break;
    case WatchEventKind::NewFault:
      text = "new fault: bank " + std::to_string(e.bank) + ", fault time " + e.faultTime;
      break;
    case WatchEventKind::SaveStarted: text = saveStartedText(e); break;
    case WatchEventKind::SaveEnded: text = saveEndedText(e); break;
    case WatchEventKind::FaultSaved:
      text = "fault saved: bank " + std::to_string(e.bank) + ", fault time " + e.faultTime + ": " + view::Joined(e.faultNames, ", ");
      break;
    case WatchEventKind::DriveSilent: text = "drive silent: " + oneLine(e.text); break;
    case WatchEventKind::DriveBack: text = "drive back"; break;
    case WatchEventKind::Notice: text = oneLine(e.text); break;
  }
  return e.drive.empty() ? text : "[" + e.drive + "] " + text;
}

std::string WatchEventJson(const WatchEvent& e) {
  using view::JsonString;
  std::string json = "{\"event\":" + JsonString(kindName(e.kind)) + ",\"time\":" + JsonString(localTimeNow());
  auto field = [&json](const char* key, const std::string& value) {
    json += std::string(",\"") + key + "\":" + JsonString(value);
  };
  if (!e.drive.empty()) field("drive", e.drive);
  switch (e.kind) {
    case WatchEventKind::DriveFound:
      field("driveType", e.driveType);
      field("panelName", e.panelName);
      field("folder", e.folder.string());
      break;
    case WatchEventKind::NewFault:
    case WatchEventKind::FaultSaved:
      json += ",\"bank\":" + std::to_string(e.bank);
      field("faultTime", e.faultTime);
      if (e.kind == WatchEventKind::FaultSaved) {
        json += ",\"faultNames\":[";
        for (std::size_t i = 0; i < e.faultNames.size(); ++i) json += (i ? "," : "") + JsonString(e.faultNames[i]);
        json += "]";
      }
      break;
    case WatchEventKind::SaveStarted:
      json += std::string(",\"firstSave\":") + (e.banks.empty() ? "true" : "false") + ",\"banks\":[" + view::Joined(e.banks, ", ") + "]";
      break;
    case WatchEventKind::SaveEnded:
      field("outcome", e.outcome);
      json += ",\"location\":" + (e.folder.empty() ? std::string("null") : JsonString(e.folder.string()));
      if (!e.text.empty()) field("message", oneLine(e.text));
      break;
    case WatchEventKind::DriveSilent:
    case WatchEventKind::Notice: field("message", oneLine(e.text)); break;
    case WatchEventKind::DriveBack: break;
  }
  return json + "}";
}

void WatchEventPrinter::print(const WatchEvent& event) {
  const std::string line = (json_ ? WatchEventJson(event) : WatchEventLine(event)) + "\n";
  std::lock_guard lock(mutex_);
  out_ << line << std::flush;
}

}  // namespace quillon::plant
