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
  Skipped,    // not run: its condition did not hold, or the run had already ended; the archive left out
  Failed,     // the run ended with an error during the step (refusal, timeout, a file not written)
  Cancelled,  // the user cancelled the run during the step
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
// The drive's bank `bank` (0-7) is being read, the `position`-th of the `of` to read.
struct BankStarted {
  int bank = 0;
  int position = 0;
  int of = 0;
};
// The requests of that bank are all answered (its files may still be being written).
struct BankRead {
  int bank = 0;
  int position = 0;
  int of = 0;
};
// `done` of the `of` blocks of a drive memory area have arrived: the setting parameters or the
// event log.
enum class MemoryArea { SettingParameters, EventLog };
struct MemoryBlocksRead {
  MemoryArea area{};
  int done = 0;
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
// The request that was sent again got its answer.
struct RequestAnswered {
  std::string request;
};
// Something the user is told at once while the run goes on, and again at its end: an earlier
// run's data kept aside, a drive database archive that was not taken, a bank saved as its CSV
// set because its workbook could not be written.
struct Notice {
  std::string text;
};
struct RunEnded {
  RunOutcome outcome = RunOutcome::NotRun;
  std::string message;                 // the error of a failed run; empty otherwise
  std::string failedStep;              // the caption of the step the error arose in
  std::filesystem::path location;      // where the data read is: the archive or moved folder, else the working folder; empty when nothing was saved
  std::filesystem::path folderToOpen;  // what "Open Folder?" opens
  bool noBankRecorded = false;
  std::vector<std::string> notices;    // every notice of the run, in order
};

using RunEvent = std::variant<StepChanged, DriveIdentified, BanksCounted, BankStarted, BankRead, MemoryBlocksRead,
                              DatabaseBlockReceived, RequestResent, RequestAnswered, ProgressMoved, Notice, RunEnded>;

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
// A re-send while a request waits: no answer to "MX203": re-send 2 of 9
std::string ResendLine(const RequestResent& resent);
// What is being read: Bank 2 (2 of 3)
std::string BankLine(const BankStarted& started);
// Setting parameters: block 12 of 103
std::string MemoryBlocksLine(const MemoryBlocksRead& read);
// What the end of a run says, lines ended by CR LF. Completed: the completion message. Failed:
// the error text, then the step it arose in. Cancelled: "Cancelled". Then the run's notices,
// and for a run that did not complete where the data read so far is.
std::string ClosingMessage(const RunEnded& ended);

}  // namespace quillon
