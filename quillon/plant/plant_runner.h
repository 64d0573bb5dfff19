#pragma once
// Several drives saved side by side: each drive gets a save run of its own (its own control
// and socket, run context and program folder), on a thread of its own with its own event loop,
// at most `jobs` at once. The drives are asked for their panel names first, so that each run's
// program folder is known before it starts: Quillon/<SafePanelName>/, with "_<address>" where
// two drives share a name. Inside that folder the single-drive rules hold unchanged. A refusal,
// timeout or Cancel ends only that drive's run.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/shell/codepage.h"
#include "quillon/requests/exchange.h"
#include "quillon/run/run_events.h"
#include "quillon/run/run_switches.h"

class QObject;

namespace quillon {

struct PlantDrive {
  std::string address;  // dotted address or host name
  std::uint16_t port = kDrivePort;
};

struct PlantPlan {
  std::vector<PlantDrive> drives;
  int jobs = 16;  // runs at once
  std::filesystem::path documents;  // the program folders go into documents/Quillon
  std::filesystem::path templateFolder;
  std::filesystem::path installRoot = "/opt";
  RunSwitches switches;
  platform::shell::CodePage codePage;
  bool dbLoad = false;
  int tickIntervalMs = 2000;  // the timeout timer's interval (tests shorten it)
};

struct DriveResult {
  PlantDrive drive;
  std::string panelName;               // as the drive told it, without trailing blanks; empty when not told
  std::filesystem::path programFolder;  // empty when the drive was not identified
  RunOutcome outcome = RunOutcome::NotRun;
  std::string message;             // why it did not complete; empty otherwise
  std::filesystem::path location;  // where its data is; empty when nothing was saved
  std::chrono::milliseconds duration{};
};

// How a drive is named in front of its lines and in the end table: "192.0.2.11 LINE/1".
std::string DriveLabel(const std::string& address, const std::string& panelName);

// A drive's program folder among several: documents/Quillon/<SafePanelName>, plus "_<address>"
// when another drive of the set has the same safe name; the address alone for a drive without
// a panel name.
std::filesystem::path DriveProgramFolder(const std::filesystem::path& documents, const std::string& panelName,
                                         const std::string& address, bool nameShared);

// Told of each drive's progress. Calls come from the drives' threads, one at a time.
class PlantEvents {
 public:
  virtual ~PlantEvents() = default;
  // The drive's panel name is known (or it did not answer: then `result` says why).
  virtual void driveIdentified(std::size_t drive, const DriveResult& result) { (void)drive, (void)result; }
  virtual void driveEvent(std::size_t drive, const RunEvent& event) { (void)drive, (void)event; }
  virtual void driveFinished(std::size_t drive, const DriveResult& result) { (void)drive, (void)result; }
};

class PlantRunner {
 public:
  PlantRunner(PlantPlan plan, PlantEvents& events);
  ~PlantRunner();
  PlantRunner(const PlantRunner&) = delete;
  PlantRunner& operator=(const PlantRunner&) = delete;

  // Saves every drive; returns when all runs have ended, in the plan's order. The calling
  // thread's event loop runs meanwhile (Ctrl-C, the window). Needs a QCoreApplication.
  std::vector<DriveResult> run();
  // From any thread: ends one drive's run, or all, as Cancel does; drives not started yet are
  // not started.
  void cancel(std::size_t drive);
  void cancelAll();

 private:
  struct Slot;
  void identify(std::size_t drive);
  void save(std::size_t drive);
  void assignFolders();
  // Runs `work` for every drive whose result is still to be made, on at most `jobs` threads.
  template <typename Work>
  void onDriveThreads(Work work);
  void post(std::size_t drive);

  PlantPlan plan_;
  PlantEvents& events_;
  std::vector<DriveResult> results_;
  std::vector<std::unique_ptr<Slot>> slots_;
  std::mutex eventsMutex_;  // one call to `events_` at a time
  std::mutex slotsMutex_;   // the threads' cancel receivers
  std::atomic<bool> cancelledAll_{false};
};

// One call: a runner for `plan`, run.
std::vector<DriveResult> RunPlantSaves(const PlantPlan& plan, PlantEvents& events);

// 0 when every drive completed, 1 otherwise (the program's exit status).
int PlantExitStatus(const std::vector<DriveResult>& results);

}  // namespace quillon
