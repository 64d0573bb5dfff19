#pragma once
// What a save run reports while it goes, to whoever shows it: the main window's controls and
// the terminal of a headless run. Listeners are told in the order they were added, on the
// run's own thread, while the run waits for nothing else.
#include <filesystem>
#include <string>
#include <variant>
#include <vector>

namespace quillon {

// A step of the save sequence; the steps and their captions are listed in save_sequence.h.
enum class StepId : int;

enum class StepState {
  Started,
  Done,
  Skipped,  // not run: its condition did not hold, or the run had already ended; the archive left out
  Failed,   // the run ended during the step (refusal, timeout, Cancel, an error)
};

enum class RunOutcome { NotRun, Completed, Failed, Cancelled };

struct StepChanged {
  StepId step;
  StepState state;
};
struct DriveIdentified {
  std::string DriveType;
};
// Before the first bank: the recorded banks found ("Last Fault Only": the one latest, if any).
struct BanksCounted {
  int recorded = 0;
  bool lastFaultOnly = false;
};
// Bank `number` of `of` is being read.
struct BankStarted {
  int number = 0;
  int of = 0;
};
// Block `block` of 0 to `lastBlock` of the drive's database archive has arrived.
struct DatabaseBlockReceived {
  int block = 0;
  int lastBlock = 0;
};
// The waiting request was sent again: the `resend`-th time of at most `of`.
struct RequestResent {
  int resend = 0;
  int of = 0;
  std::string request;
};
struct ProgressMoved {
  int width = 0;
  int boxWidth = 0;
};
// Something the user is told at once while the run goes on (an archive that was not taken).
struct Notice {
  std::string text;
};
struct RunEnded {
  RunOutcome outcome = RunOutcome::NotRun;
  std::string message;                // the error of a failed run; empty otherwise
  std::filesystem::path location;     // the archive or moved folder; after a failure the working folder, if any
  std::filesystem::path folderToOpen;  // what "Open Folder?" opens
  bool noBankRecorded = false;
};

using RunEvent = std::variant<StepChanged, DriveIdentified, BanksCounted, BankStarted, DatabaseBlockReceived,
                              RequestResent, ProgressMoved, Notice, RunEnded>;

class RunListener {
 public:
  virtual ~RunListener() = default;
  virtual void onRunEvent(const RunEvent& event) = 0;
};

class RunEvents {
 public:
  // A listener removes itself before it goes.
  void add(RunListener& listener);
  void remove(RunListener& listener);
  void emit(const RunEvent& event) const;

 private:
  std::vector<RunListener*> listeners_;
};

// Handlers for std::visit, one per event type.
template <typename... Handlers>
struct Overloaded : Handlers... {
  using Handlers::operator()...;
};
template <typename... Handlers>
Overloaded(Handlers...) -> Overloaded<Handlers...>;

// The texts both listeners show.
std::string DriveTypeLine(const std::string& DriveType);           // DriveType = "..."
std::string CompletionMessage(const std::filesystem::path& location);  // "Complete" CR LF "Traceback file location = ..."

}  // namespace quillon
