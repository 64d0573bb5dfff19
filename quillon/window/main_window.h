#pragma once
// The main window as plain C++: start-up, the save run with its checkpoints and decisions,
// Cancel, Reset and Exit. It holds the run state and the controls' state; the Qt window and
// the headless printer only show that state. Everything runs on the one event-loop thread:
// a request waits inside the event loop, where Cancel, the timer and the replies arrive.
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>

#include "platform/shell/message_box.h"
#include "quillon/requests/exchange.h"
#include "quillon/requests/memory_requests.h"
#include "quillon/window/drive_steps.h"
#include "quillon/window/window_controls.h"

namespace quillon {

// Run state besides the exchange state and the drive tables.
struct RunState {
  std::filesystem::path AppFolder;
  std::string CommandLine;
  std::string SafePanelName;
  std::int16_t RecordedBankCount = 0;
  std::int16_t ValidBankCount = 0;
  std::int16_t LatestFaultBank = 0;
};

enum class RunOutcome { NotRun, Completed, Failed, Cancelled };

// The places where steps of later parts of the program plug into the save run. A step left
// empty is skipped; each is called at its place in the sequence.
struct LaterSteps {
  std::function<void()> receiveDriveDatabase;       // "FB"/"FR", when "DB Load" is checked
  std::function<void()> readTroubleRecordsAndEventCounts;  // "MY3", "EV1", "EV2", "EVT" and their files
  std::function<void()> readSetpointMemory;         // "LP" / "Lp" into SetpointWords
  std::function<void()> writeSetpointAndEventLogFiles;  // setting-parameter file, event log
  std::function<void()> readDriveStatus;            // "J", "ZS", "SP" and the drive status file
  std::function<void()> convertSaveFolder;          // workbooks and configuration file
};

// Services from outside the window, replaceable in tests.
struct WindowServices {
  platform_shell::MessageBoxes* messages = nullptr;
  std::function<bool(const std::filesystem::path&)> openFolder;  // file manager
  std::function<std::tm()> now;                                  // local date and time
  std::function<int(const std::string& command)> unlha;          // the archiver; 0 = success
  std::function<void()> quitProgram;                             // after Exit
};

class MainWindow {
 public:
  MainWindow(Exchange& exchange, DriveSteps& drive, WindowServices services);
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Window load: counts and ranges, captions and states, `CommandLine`, the program folder.
  // Returns an empty text, or why the program folder cannot be made.
  std::string startUp(const std::filesystem::path& documentsFolder, std::string commandLine);

  void clickStart();   // the whole save run; returns when it has ended
  void clickCancel();  // "Cancel" aborts a run, "Reset" clears the display
  void clickExit();    // ends the program; during a run it cancels and ends after the run
  void setDbLoad(bool checked) { controls.Check1.setChecked(checked); }

  bool running() const { return running_; }
  RunOutcome lastOutcome() const { return lastOutcome_; }
  const std::filesystem::path& lastSaveLocation() const { return saveLocation_; }

  WindowControls controls;
  RunState run;
  MemoryTables memory;
  LaterSteps laterSteps;
  Exchange& exchange() { return exchange_; }
  ExchangeState& x() { return exchange_.state(); }
  DriveSteps& drive() { return drive_; }

 private:
  // The sequence up to the archive; returns early at a checkpoint with the run aborted.
  void saveSequence();
  bool checkpoint() const { return !exchange_.state().AbortFlag; }
  void beginRun();
  bool deletePreviousWorkingFolder();
  void readTraceBack();
  void receiveDriveDatabase();
  void readBankTimes(bool lastFaultOnly);
  void countRecordedBanks(bool lastFaultOnly);
  bool readOneBank(std::uint8_t bank);
  void readTroubleRecords();
  void readSettingParameters();
  void packOrMoveWorkingFolder();
  void moveWorkingFolder(const std::filesystem::path& target);
  void packWorkingFolder(const std::filesystem::path& target);
  void endOfRun();
  void resetDisplay();
  void fail(std::string message);
  void runHook(const std::function<void()>& step) { if (step && checkpoint()) step(); }

  Exchange& exchange_;
  DriveSteps& drive_;
  WindowServices services_;
  bool running_ = false;
  bool exitRequested_ = false;
  RunOutcome lastOutcome_ = RunOutcome::NotRun;
  std::filesystem::path saveLocation_;  // archive or moved folder of the last run
  std::filesystem::path folderToOpen_;
  bool haveKeptBank_ = false;
};

// True when any of the fields month, day, hour, minute, second is not "00".
bool BankHoldsRecord(const std::vector<std::string>& bankTimeRow);

}  // namespace quillon
