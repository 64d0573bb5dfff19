#pragma once
// Everything one save run knows, held once: what the program was started with (the exchange,
// the switches, the folders, the clock), what the drive told (identity, trace-back, memory,
// record and status tables), the drive-database connections, the counts the run decides by,
// the one progress bar with its `ProgressAccumulator`, and where the run left its data. The
// steps read and write it; listeners learn of it through `events`.
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "quillon/database/trace_workbook.h"
#include "quillon/requests/drive_identity.h"
#include "quillon/requests/exchange.h"
#include "quillon/requests/memory_requests.h"
#include "quillon/requests/progress.h"
#include "quillon/requests/record_requests.h"
#include "quillon/requests/status_requests.h"
#include "quillon/requests/trace_back_tables.h"
#include "quillon/run/run_events.h"
#include "quillon/run/program_folder_lock.h"
#include "quillon/run/run_folders.h"
#include "quillon/run/run_switches.h"

namespace quillon {

// The computer's local date and time.
using Clock = std::function<std::tm()>;
std::tm LocalNow();

class RunContext {
 public:
  RunContext(Exchange& exchange, RunFolders folders, RunSwitches switches, Clock clock = LocalNow);
  ~RunContext();
  RunContext(const RunContext&) = delete;
  RunContext& operator=(const RunContext&) = delete;

  // Given when the program starts.
  Exchange& exchange;
  const RunFolders folders;
  const RunSwitches switches;
  const Clock clock;
  RunEvents events;

  // Chosen at Start: "DB Load" ticked.
  bool dbLoad = false;

  // What the drive told; the tables keep their values from one run to the next until
  // overwritten, as the drive's own do.
  DriveIdentity identity;
  std::string SafePanelName;
  TraceBackTables traceBack;
  MemoryTables memory;
  TroubleTables trouble;
  DriveStatusTable status;
  DatabaseState databases;

  std::int16_t RecordedBankCount = 0;
  std::int16_t ValidBankCount = 0;
  std::int16_t LatestFaultBank = 0;
  ProgressBar progress;
  std::string LabelDummy;  // the conversion's scratch text, kept with the run rather than in the window's hidden label

  // Where the last run left its data once packed or moved, and what "Open Folder?" opens.
  std::filesystem::path saveLocation;
  std::filesystem::path folderToOpen;
  // The working folder holds this run's files (an earlier run's were kept aside first).
  bool workingFolderIsThisRuns = false;
  // What the user was told while the run went on; the end tells it again.
  std::vector<std::string> notices;
  // The caption of the step in which the run was aborted; empty while it was not.
  std::string failedStep;
  // Held from the folder check until the run has ended: no other run writes this program folder.
  std::unique_ptr<ProgramFolderLock> programFolderLock;

  // The drive's code page, as the exchange was given it: the files take its texts in it, the
  // archive's member names and an Access drive database's text are read and written in it.
  const platform::shell::CodePage& codePage() const { return exchange.codePage(); }

  ExchangeState& x() { return exchange.state(); }
  const ExchangeState& x() const { return exchange.state(); }
  bool aborted() const { return x().AbortFlag; }
  // Ends the run with `message`, unless an earlier failure already gave one.
  void fail(std::string message) { x().abortWith(std::move(message)); }
  // A writer's answer: empty, or why it failed.
  void reportFailure(const std::string& error) {
    if (!error.empty()) fail(error);
  }
  // How a step ended that has nothing else to say: Failed once the run was aborted.
  StepState finished() const { return aborted() ? StepState::Failed : StepState::Done; }
  // Tells the user at once and keeps the text for the end of the run.
  void notice(std::string text);

  // A checkpoint: true when the run was aborted, and from then on the run goes straight to its
  // end. Between two checkpoints the steps run on with what they have.
  bool checkpoint() {
    if (aborted()) stoppedAtCheckpoint_ = true;
    return stoppedAtCheckpoint_;
  }
  bool stoppedAtCheckpoint() const { return stoppedAtCheckpoint_; }

  // The start of a run: flags, counts and group tables cleared; the end: its outcome told.
  void beginRun(bool dbLoadTicked);
  RunOutcome endRun();

 private:
  bool stoppedAtCheckpoint_ = false;
};

}  // namespace quillon
