#pragma once
// The main window as plain C++: its controls and captions, start-up, the buttons (Start,
// Cancel/Reset, Exit, "DB Load") and the end of a run with its message boxes. The run drives
// the controls through its events; the Qt window and the headless printer only show. Everything
// runs on the one event-loop thread: a request waits inside the event loop, where Cancel, the
// timer and the replies arrive.
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/shell/message_box.h"
#include "quillon/run/run_context.h"
#include "quillon/run/run_events.h"
#include "quillon/window/window_controls.h"

namespace quillon {

// A drive the address field offers: its address, and how the list shows it.
struct DriveChoice {
  std::string address;
  std::string label;
};
using DrivesFound = std::function<void(std::vector<DriveChoice>)>;

// What the window asks of the desktop.
struct WindowServices {
  platform::shell::MessageBoxes* messages = nullptr;
  std::function<bool(const std::filesystem::path&)> openFolder;  // file manager; false when none could be started
  std::function<void()> quitProgram;                             // after Exit
  std::function<bool(const std::filesystem::path&)> openViewer;  // the viewer on a save; false when it did not start
  // Scans for drives off the window's thread and hands them back on it; none: no Scan.
  std::function<void(DrivesFound)> scanDrives;
};

class MainWindow : public RunListener {
 public:
  MainWindow(RunContext& run, WindowServices services);
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Window load: captions and states, `Check1` for "/l", the program folder made. Returns an
  // empty text, or why the program folder cannot be made.
  std::string startUp();

  void clickStart();   // the whole save run; returns when it has ended
  void clickCancel();  // "Cancel" aborts a run, "Reset" clears the display
  void clickExit();    // ends the program; during a run it asks, then cancels and ends after the run
  void clickView();    // the viewer on the save the last run made
  void setDbLoad(bool checked) { controls.Check1.setChecked(checked); }
  // The address the program was started with (empty: broadcast), where the exchange already aims.
  void startWithDrive(const std::string& address);
  // The address field as the user left it; the next Start aims there.
  void setDriveAddress(const std::string& address) { controls.txtDrive.setCaption(address); }
  void clickScan();
  void drivesFound(std::vector<DriveChoice> drives);
  const std::vector<DriveChoice>& driveChoices() const { return driveChoices_; }
  void setChoicesObserver(std::function<void()> observer) { choicesObserver_ = std::move(observer); }

  bool running() const { return running_; }
  RunOutcome lastOutcome() const { return lastOutcome_; }
  RunContext& run() { return run_; }

  WindowControls controls;

  void onRunEvent(const RunEvent& event) override;

 private:
  void showStep(const StepChanged& change);
  void markRow(Control& marker, const char* text);
  void endRows(RunOutcome outcome);
  void openFolder(const std::filesystem::path& folder);
  void endOfRun(const RunEnded& ended);
  void resetDisplay();
  void cancelRun();

  void offerDrives(std::vector<DriveChoice> drives);
  bool aimAtTheDriveField();

  RunContext& run_;
  WindowServices services_;
  std::vector<DriveChoice> driveChoices_;
  std::function<void()> choicesObserver_;
  std::string aimedAt_;  // where the exchange aims
  bool scanning_ = false;
  bool running_ = false;
  bool exitRequested_ = false;
  RunOutcome lastOutcome_ = RunOutcome::NotRun;
  std::filesystem::path lastSave_;  // what "View" opens
  bool stepAfterAbort_ = false;     // the step shown started after the run had ended
};

}  // namespace quillon
