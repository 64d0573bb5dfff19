#pragma once
// The main window as plain C++: its controls and captions, start-up, the buttons (Start,
// Cancel/Reset, Exit, "DB Load") and the end of a run with its message boxes. The run drives
// the controls through its events; the Qt window and the headless printer only show. Everything
// runs on the one event-loop thread: a request waits inside the event loop, where Cancel, the
// timer and the replies arrive. Drives ticked among those found are saved side by side by the
// plant runner, on threads of their own; the window shows one row per drive from their events.
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/shell/message_box.h"
#include "quillon/plant/plant_runner.h"
#include "quillon/run/run_context.h"
#include "quillon/run/run_events.h"
#include "quillon/window/drive_rows.h"
#include "quillon/window/window_controls.h"

namespace quillon {

// A drive the address field offers: its address, how the list shows it, whether it is ticked.
struct DriveChoice {
  std::string address;
  std::string label;
  std::uint16_t port = kDrivePort;
  bool picked = false;
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
  // What a save of the drives given needs besides them (folders, switches, code page); none:
  // the window saves one drive at a time.
  std::function<PlantPlan(std::vector<PlantDrive>)> plantPlan;
};

class MainWindow : public RunListener, private PlantEvents {
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
  // The drives the program was started with, all ticked.
  void startWithDrives(std::vector<DriveChoice> drives);
  // Scans at once and ticks every drive found.
  void startWithEveryScannedDrive();
  // Ticked drives are saved side by side by the next Start; none ticked: the address field's.
  void pickDrive(std::size_t choice, bool picked);
  void pickEveryDrive(bool picked);
  std::vector<PlantDrive> pickedDrives() const;

  // The rows of the save of several drives, empty otherwise; the observer is told of each row
  // that changed, or of kAllRows when rows were made or cleared.
  static constexpr std::size_t kAllRows = static_cast<std::size_t>(-1);
  const std::vector<DriveRow>& driveRows() const { return rows_; }
  void setRowsObserver(std::function<void(std::size_t)> observer) { rowsObserver_ = std::move(observer); }

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
  void beginRun();
  void saveSingle();
  void saveSeveral(std::vector<PlantDrive> drives);
  void endOfSeveral(const std::vector<DriveResult>& results);
  void showStepRows(bool shown);
  void rowChanged(std::size_t row);

  // The runs' calls, queued to this thread.
  void driveIdentified(std::size_t drive, const DriveResult& result) override;
  void driveEvent(std::size_t drive, const RunEvent& event) override;
  void driveFinished(std::size_t drive, const DriveResult& result) override;

  RunContext& run_;
  WindowServices services_;
  std::vector<DriveChoice> driveChoices_;
  std::function<void()> choicesObserver_;
  std::vector<DriveRow> rows_;
  std::function<void(std::size_t)> rowsObserver_;
  PlantRunner* plant_ = nullptr;  // while several drives are saved
  bool pickFound_ = false;        // the scan's drives are ticked when found
  std::string aimedAt_;  // where the exchange aims
  bool scanning_ = false;
  bool running_ = false;
  bool exitRequested_ = false;
  RunOutcome lastOutcome_ = RunOutcome::NotRun;
  std::filesystem::path lastSave_;  // what "View" opens
  bool stepAfterAbort_ = false;     // the step shown started after the run had ended
};

}  // namespace quillon
