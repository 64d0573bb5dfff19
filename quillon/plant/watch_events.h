#pragma once
// What a watch tells, one line per event: a drive found, a new fault seen, a save started and
// ended (where its data is), a saved fault's names, a drive silent (once) and back. As text or
// as JSON lines; each line is written whole and flushed at once, so that a journal or a pipe
// gets it as it happens, also when several drives' threads tell at the same time.
#include <filesystem>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

namespace quillon::plant {

enum class WatchEventKind { DriveFound, NewFault, SaveStarted, SaveEnded, FaultSaved, DriveSilent, DriveBack, Notice };

struct WatchEvent {
  WatchEventKind kind = WatchEventKind::Notice;
  std::string drive;  // "127.0.0.2:22359"; empty for the watch as a whole
  std::string driveType, panelName;  // found
  std::filesystem::path folder;      // found: the drive's program folder; save ended: where its data is
  int bank = -1;                     // new fault, fault saved
  std::string faultTime;             // "2026/12/01 00:01:00"
  std::vector<std::string> faultNames;  // fault saved
  std::vector<int> banks;            // save started: the banks not saved yet; none for a first save
  std::string outcome;               // save ended: "completed", "failed" or "cancelled"
  std::string text;                  // silent, failed save, notice: why, in the system's words
};

// "[127.0.0.2:22359] drive found: RX-Fenn "Line 3", folder /..." and the like.
std::string WatchEventLine(const WatchEvent& event);
// {"event":"found","drive":"127.0.0.2:22359",...}
std::string WatchEventJson(const WatchEvent& event);

class WatchEventPrinter {
 public:
  WatchEventPrinter(std::ostream& out, bool json) : out_(out), json_(json) {}
  // Any thread.
  void print(const WatchEvent& event);

 private:
  std::mutex mutex_;
  std::ostream& out_;
  bool json_;
};

}  // namespace quillon::plant
