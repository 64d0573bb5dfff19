#include "quillon/window/main_window.h"

#include <algorithm>

#include "platform/shell/folders.h"
#include "platform/shell/message_box.h"
#include "quillon/plant/plant_table.h"
#include "quillon/requests/memory_ranges.h"
#include "quillon/run/save_sequence.h"

namespace quillon {
namespace {

constexpr const char* kMarkRunning = ">>";
constexpr const char* kMarkDone = "Done>";
constexpr const char* kMarkSkipped = "Skip>";
constexpr const char* kMarkError = "Error>";
constexpr const char* kMarkCancelled = "Cancelled>";
constexpr const char* kNoBanks = " / 0 bank(s)";
constexpr const char* kLastFaultOnly = " / Last Fault Only";
constexpr const char* kNoTraceBankWarning = "Waring : No Trace Bank Data Received.";
constexpr const char* kExitDuringRun = "A save is running. Stop it and exit?";

// The marker a row ends with when its last step ends so: a skipped conversion still ends a
// row of steps that were done.
const char* endMarker(StepState state) {
  switch (state) {
    case StepState::Failed: return kMarkError;
    case StepState::Cancelled: return kMarkCancelled;
    default: return kMarkDone;
  }
}

bool endedBadly(StepState state) { return state == StepState::Failed || state == StepState::Cancelled; }

}  // namespace

MainWindow::MainWindow(RunContext& run, WindowServices services) : run_(run), services_(std::move(services)) {
  run_.events.add(*this);
}

MainWindow::~MainWindow() { run_.events.remove(*this); }

std::string MainWindow::startUp() {
  controls.cmd_Cancel.setEnabled(false);
  controls.shpScale.setWidth(run_.progress.scaleWidth());
  controls.Label1.setCaption(StepCaption(StepId::TraceBack));
  controls.Label2.setCaption(StepCaption(StepId::SettingParameters));
  controls.Label3.setCaption(StepCaption(StepId::Connect));
  for (Control* label : {&controls.Label4, &controls.Label5, &controls.Label6, &controls.Label7,
                         &controls.Label8, &controls.Label11})
    label->setCaption("");
  controls.Label9.setCaption("0");
  controls.Label10.setCaption(kNoBanks);
  controls.Label12.setCaption(StepCaption(StepId::PackOrMove));
  controls.Check1.setVisible(run_.switches.showsDbLoad);
  controls.setFocus(&controls.cmd_Start);
  return platform::shell::CreateFolder(run_.folders.AppFolder);
}

void MainWindow::startWithDrive(const std::string& address) {
  aimedAt_ = address;
  setDriveAddress(address);
  controls.cmd_Scan.setVisible(static_cast<bool>(services_.scanDrives));
}

void MainWindow::clickScan() {
  if (running_ || scanning_ || !services_.scanDrives) return;
  scanning_ = true;
  controls.cmd_Scan.setEnabled(false);
  controls.cmd_Scan.setCaption("Scanning...");
  services_.scanDrives([this](std::vector<DriveChoice> drives) { drivesFound(std::move(drives)); });
}

void MainWindow::drivesFound(std::vector<DriveChoice> drives) {
  scanning_ = false;
  controls.cmd_Scan.setCaption("Scan");
  controls.cmd_Scan.setEnabled(!running_);
  if (drives.size() == 1) setDriveAddress(drives.front().address);
  controls.LabelReading.setCaption(drives.empty() ? "No drive answered the scan."
                                                  : std::to_string(drives.size()) +
                                                        " drive(s) found: pick one under Drive, or tick several.");
  if (pickFound_)
    for (DriveChoice& drive : drives) drive.picked = true;
  pickFound_ = false;
  offerDrives(std::move(drives));
}

void MainWindow::startWithDrives(std::vector<DriveChoice> drives) {
  for (DriveChoice& drive : drives) drive.picked = true;
  offerDrives(std::move(drives));
}

void MainWindow::startWithEveryScannedDrive() {
  pickFound_ = true;
  clickScan();
}

// A drive found again keeps its tick.
void MainWindow::offerDrives(std::vector<DriveChoice> drives) {
  for (DriveChoice& drive : drives)
    for (const DriveChoice& before : driveChoices_)
      if (before.picked && before.address == drive.address && before.port == drive.port) drive.picked = true;
  driveChoices_ = std::move(drives);
  if (choicesObserver_) choicesObserver_();
}

void MainWindow::pickDrive(std::size_t choice, bool picked) {
  if (choice >= driveChoices_.size() || driveChoices_[choice].picked == picked) return;
  driveChoices_[choice].picked = picked;
  if (choicesObserver_) choicesObserver_();
}

void MainWindow::pickEveryDrive(bool picked) {
  for (DriveChoice& drive : driveChoices_) drive.picked = picked;
  if (choicesObserver_) choicesObserver_();
}

std::vector<PlantDrive> MainWindow::pickedDrives() const {
  std::vector<PlantDrive> drives;
  for (const DriveChoice& choice : driveChoices_)
    if (choice.picked) drives.push_back({choice.address, choice.port});
  return drives;
}

// The address field's drive, unless the exchange aims there already; false when it cannot.
bool MainWindow::aimAtTheDriveField() {
  const std::string& field = controls.txtDrive.caption();
  const std::string address = field.substr(0, field.find(' '));
  if (address == aimedAt_) return true;
  if (const std::string why = run_.exchange.aimAt(address); !why.empty()) {
    controls.LabelClosing.setCaption("The drive " + address + " cannot be asked: " + why);
    return false;
  }
  aimedAt_ = address;
  return true;
}

void MainWindow::clickStart() {
  if (running_ || !controls.cmd_Start.enabled()) return;  // only from Idle
  std::vector<PlantDrive> picked = pickedDrives();
  if (!picked.empty() && services_.plantPlan) saveSeveral(std::move(picked));
  else saveSingle();
  if (exitRequested_) clickExit();
}

void MainWindow::beginRun() {
  running_ = true;
  controls.cmd_Scan.setEnabled(false);
  controls.cmd_Cancel.setEnabled(true);
  controls.setFocus(&controls.cmd_Cancel);  // before Start is disabled: the focus never passes to Exit
  controls.cmd_Start.setEnabled(false);
}

void MainWindow::saveSingle() {
  if (!aimAtTheDriveField()) return;
  beginRun();
  RunSaveSequence(run_, controls.Check1.checked());
  running_ = false;
  controls.cmd_Scan.setEnabled(!scanning_);
  // Several drives answered the broadcast: the user picks one of them, or ticks several.
  if (!run_.answeringDrives.empty()) {
    std::vector<DriveChoice> drives;
    for (const IdentifiedDrive& d : run_.answeringDrives)
      drives.push_back({d.at.address,
                        d.at.address + "  " + std::string(trimmedDriveType(d.identity.DriveType)) + "  " +
                            std::string(trimmedDriveType(d.identity.PanelName)),
                        d.at.port});
    offerDrives(std::move(drives));
  }
}

// The runner saves; the window only shows the rows. Its calls come queued to this thread,
// where the runner's own event loop turns meanwhile: the window stays usable and Cancel arrives.
void MainWindow::saveSeveral(std::vector<PlantDrive> drives) {
  PlantPlan plan = services_.plantPlan(std::move(drives));
  plan.dbLoad = controls.Check1.checked();
  rows_.clear();
  for (const PlantDrive& drive : plan.drives) {
    DriveRow row;
    row.drive = DriveColumn(drive);
    rows_.push_back(std::move(row));
  }
  showStepRows(false);
  rowChanged(kAllRows);
  controls.LabelClosing.setCaption("");
  beginRun();
  QueuedPlantEvents queued(*this);
  PlantRunner runner(std::move(plan), queued);
  plant_ = &runner;
  const std::vector<DriveResult> results = runner.run();
  queued.deliverPending();
  plant_ = nullptr;
  running_ = false;
  controls.cmd_Scan.setEnabled(!scanning_);
  endOfSeveral(results);
}

void MainWindow::driveIdentified(std::size_t drive, const DriveResult& result) {
  if (drive >= rows_.size()) return;
  if (!result.panelName.empty()) rows_[drive].panelName = result.panelName;
  if (result.outcome == RunOutcome::NotRun) rows_[drive].result = "Saving";
  rowChanged(drive);
}

void MainWindow::driveEvent(std::size_t drive, const RunEvent& event) {
  if (drive >= rows_.size()) return;
  const auto* moved = std::get_if<ProgressMoved>(&event);
  if (!moved || moved->boxWidth <= 0) return;
  rows_[drive].percent = std::clamp(moved->width * 100 / moved->boxWidth, 0, 100);
  rowChanged(drive);
}

void MainWindow::driveFinished(std::size_t drive, const DriveResult& result) {
  if (drive >= rows_.size()) return;
  EndRow(rows_[drive], result);
  rowChanged(drive);
}

void MainWindow::rowChanged(std::size_t row) {
  if (rowsObserver_) rowsObserver_(row);
}

// The rows say each drive's end; the closing line sums them up and names what went wrong. No
// box: one per drive would stack up.
void MainWindow::endOfSeveral(const std::vector<DriveResult>& results) {
  std::size_t completed = 0;
  bool failed = false;
  std::string closing;
  for (std::size_t i = 0; i < results.size() && i < rows_.size(); ++i) {
    const DriveResult& result = results[i];
    EndRow(rows_[i], result);
    if (result.outcome == RunOutcome::Completed) ++completed;
    failed = failed || result.outcome == RunOutcome::Failed || result.outcome == RunOutcome::NotRun;
    if (result.outcome != RunOutcome::Completed && !result.message.empty())
      closing += "\n" + DriveLabel(result.drive.address, result.panelName) + ": " +
                 platform::shell::WithUnixLineBreaks(result.message);
  }
  rowChanged(kAllRows);
  controls.LabelClosing.setCaption(std::to_string(completed) + " of " + std::to_string(results.size()) +
                                   " drive(s) completed." + closing);
  lastOutcome_ = completed == results.size() ? RunOutcome::Completed : failed ? RunOutcome::Failed : RunOutcome::Cancelled;
  lastSave_.clear();
  controls.cmd_View.setEnabled(false);
  controls.cmd_Cancel.setEnabled(true);
  controls.cmd_Cancel.setCaption("Reset");
  controls.setFocus(&controls.cmd_Cancel);
}

// The step rows, the drive type line and the bar belong to a save of one drive.
void MainWindow::showStepRows(bool shown) {
  for (Control* control : {&controls.Label1, &controls.Label2, &controls.Label3, &controls.Label12, &controls.Label5,
                           &controls.Label6, &controls.Label7, &controls.Label8, &controls.Label9, &controls.Label10,
                           &controls.Label11, &controls.shpBox})
    control->setVisible(shown);
}

void MainWindow::onRunEvent(const RunEvent& event) {
  std::visit(Overloaded{
                 [this](const StepChanged& e) { showStep(e); },
                 [this](const DriveIdentified& e) { controls.Label11.setCaption(DriveTypeLine(e.DriveType)); },
                 [this](const BanksCounted& e) {
                   controls.Label10.setCaption(e.lastFaultOnly ? kLastFaultOnly
                                                               : " / " + std::to_string(e.recorded) + " bank(s)");
                 },
                 // The count beside the bar counts banks done; the label says which is being read.
                 [this](const BankStarted& e) { controls.LabelReading.setCaption(BankLine(e)); },
                 [this](const BankRead& e) { controls.Label9.setCaption(std::to_string(e.position)); },
                 [this](const MemoryBlocksRead& e) { controls.LabelReading.setCaption(MemoryBlocksLine(e)); },
                 [this](const DatabaseBlockReceived& e) {
                   controls.Label10.setCaption(std::to_string(e.block) + "/" + std::to_string(e.lastBlock));
                 },
                 [this](const RequestResent& e) { controls.LabelResend.setCaption(ResendLine(e)); },
                 [this](const RequestAnswered&) { controls.LabelResend.setCaption(""); },
                 [this](const ProgressMoved& e) { controls.shpScale.setWidth(e.width); },
                 // Shown without a box, so that an unattended run goes on; the end lists it again.
                 [this](const Notice& e) { controls.Label4.setCaption(platform::shell::WithUnixLineBreaks(e.text)); },
                 [this](const RunEnded& e) { endOfRun(e); },
             },
             event);
}

// Four rows of caption and marker: connect, trace-back (with the database download and the
// trouble records), setting parameters (with the files, the status and the conversion), compress.
// A row starts with its first step and ends with its last; a step that ends badly marks its row
// at once, and nothing later overwrites that.
void MainWindow::markRow(Control& marker, const char* text) {
  if (marker.caption() == kMarkError || marker.caption() == kMarkCancelled) return;
  marker.setCaption(text);
}

void MainWindow::showStep(const StepChanged& change) {
  const StepState state = change.state;
  const bool started = state == StepState::Started;
  Control* row = nullptr;
  bool firstOfRow = false, lastOfRow = false;
  switch (change.step) {
    case StepId::Connect: row = &controls.Label7, firstOfRow = lastOfRow = true; break;
    case StepId::DriveDatabase:
      if (state == StepState::Skipped) return;
      row = &controls.Label5, firstOfRow = true;
      controls.Label9.setVisible(!started);
      controls.Label1.setCaption(StepCaption(started ? StepId::DriveDatabase : StepId::TraceBack));
      break;
    case StepId::TraceBack: row = &controls.Label5, firstOfRow = true; break;
    case StepId::TroubleRecords: row = &controls.Label5, lastOfRow = true; break;
    case StepId::SettingParameters: row = &controls.Label6, firstOfRow = true; break;
    case StepId::SettingFiles:
    case StepId::DriveStatus: row = &controls.Label6; break;
    case StepId::Conversion: row = &controls.Label6, lastOfRow = true; break;
    case StepId::PackOrMove:
      if (state == StepState::Skipped) {
        controls.Label8.setCaption(kMarkSkipped);  // "/l": the folder moved instead
        return;
      }
      row = &controls.Label8, firstOfRow = lastOfRow = true;
      break;
    default: return;
  }
  if (!started) controls.LabelReading.setCaption("");
  // A step the ended run only passes through (it sends nothing) neither starts nor ends its row;
  // the archive step always really runs.
  if (started) stepAfterAbort_ = run_.aborted() && change.step != StepId::PackOrMove;
  if (stepAfterAbort_ && (started || endedBadly(state))) return;
  if (started && firstOfRow) markRow(*row, kMarkRunning);
  else if (endedBadly(state) || (!started && lastOfRow)) markRow(*row, endMarker(state));
}

// Every row ends marked: one still running ends as the run did, one never reached is skipped.
void MainWindow::endRows(RunOutcome outcome) {
  for (Control* marker : {&controls.Label7, &controls.Label5, &controls.Label6, &controls.Label8}) {
    if (marker->caption() == kMarkRunning)
      marker->setCaption(outcome == RunOutcome::Cancelled ? kMarkCancelled
                         : outcome == RunOutcome::Failed  ? kMarkError
                                                          : kMarkDone);
    else if (marker->caption().empty())
      marker->setCaption(kMarkSkipped);
  }
}

// A failure is shown with the error icon, a cancelled run with where its data is; a completed
// one asks whether to open the folder. The closing message stays in the window after its box.
void MainWindow::endOfRun(const RunEnded& e) {
  controls.LabelResend.setCaption("");
  controls.LabelReading.setCaption("");
  endRows(e.outcome);
  platform::shell::MessageBoxes* boxes = services_.messages;
  const std::string closing = ClosingMessage(e);
  controls.LabelClosing.setCaption(platform::shell::WithUnixLineBreaks(closing));
  if (e.outcome == RunOutcome::Failed) {
    if (boxes) boxes->showError(closing);
  } else if (e.noBankRecorded) {
    controls.Label4.setCaption(kNoTraceBankWarning);
  }
  if (e.outcome == RunOutcome::Cancelled && boxes) boxes->showMessage(closing);
  controls.cmd_Cancel.setEnabled(true);
  controls.cmd_Cancel.setCaption("Reset");
  controls.setFocus(&controls.cmd_Cancel);
  lastOutcome_ = e.outcome;
  lastSave_ = e.location;
  controls.cmd_View.setEnabled(!lastSave_.empty() && static_cast<bool>(services_.openViewer));

  if (lastOutcome_ != RunOutcome::Completed || exitRequested_) return;
  const std::string question = closing + "\r\n\r\nOpen Folder?";
  if (boxes && boxes->askYesNo(question)) openFolder(e.folderToOpen);
}

void MainWindow::openFolder(const std::filesystem::path& folder) {
  if (services_.openFolder && services_.openFolder(folder)) return;
  if (services_.messages)
    services_.messages->showMessage("No file manager could be started (xdg-open). The save is in\r\n" +
                                    folder.string());
}

void MainWindow::clickView() {
  if (!controls.cmd_View.enabled() || lastSave_.empty()) return;
  if (services_.openViewer && services_.openViewer(lastSave_)) return;
  if (services_.messages)
    services_.messages->showError("The viewer could not be started. The save is in\r\n" + lastSave_.string());
}

void MainWindow::clickCancel() {
  if (!controls.cmd_Cancel.enabled()) return;
  if (controls.cmd_Cancel.caption() == "Cancel") {
    cancelRun();
    return;
  }
  resetDisplay();
}

void MainWindow::cancelRun() {
  controls.setFocus(nullptr);
  controls.cmd_Cancel.setEnabled(false);
  if (plant_) plant_->cancelAll();  // every drive's run ends with its data kept
  else run_.x().AbortFlag = true;   // the waiting request returns at its next round
}

void MainWindow::resetDisplay() {
  controls.cmd_Start.setEnabled(true);
  controls.cmd_Cancel.setCaption("Cancel");
  controls.cmd_Cancel.setEnabled(false);
  for (Control* label : {&controls.Label4, &controls.Label5, &controls.Label6, &controls.Label7,
                         &controls.Label8, &controls.Label11})
    label->setCaption("");
  controls.Label9.setCaption("0");
  controls.Label10.setCaption(kNoBanks);
  controls.LabelClosing.setCaption("");
  controls.cmd_View.setEnabled(false);
  if (!rows_.empty()) {
    rows_.clear();
    rowChanged(kAllRows);
    showStepRows(true);
  }
  run_.progress.clear();
  run_.x().ErrorText.clear();
  controls.setFocus(&controls.cmd_Start);
}

void MainWindow::clickExit() {
  if (running_) {
    if (exitRequested_) return;  // asked and answered already; the run is on its way to its end
    // Leaving in the middle of a request would drop the run mid-way: asked first, it is
    // cancelled, reaches its end with its data kept, and then the program ends.
    if (services_.messages && !services_.messages->askYesNo(kExitDuringRun)) return;
    exitRequested_ = true;
    cancelRun();
    return;
  }
  if (services_.quitProgram) services_.quitProgram();
}

}  // namespace quillon
