#include "quillon/window/main_window.h"

#include "platform/shell/folders.h"
#include "quillon/run/save_sequence.h"

namespace quillon {
namespace {

constexpr const char* kMarkRunning = ">>";
constexpr const char* kMarkDone = "Done>";
constexpr const char* kMarkSkipped = "Skip>";
constexpr const char* kMarkError = "Error>";
constexpr const char* kNoBanks = " / 0 bank(s)";
constexpr const char* kLastFaultOnly = " / Last Fault Only";
constexpr const char* kNoTraceBankWarning = "Waring : No Trace Bank Data Received.";
constexpr const char* kExitDuringRun = "A save is running. Stop it and exit?";

bool ended(StepState state) { return state != StepState::Started; }

std::string firstLineOf(const std::string& text) { return text.substr(0, text.find_first_of("\r\n")); }

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

void MainWindow::clickStart() {
  if (running_ || !controls.cmd_Start.enabled()) return;  // only from Idle
  running_ = true;
  controls.cmd_Cancel.setEnabled(true);
  controls.setFocus(&controls.cmd_Cancel);  // before Start is disabled: the focus never passes to Exit
  controls.cmd_Start.setEnabled(false);
  RunSaveSequence(run_, controls.Check1.checked());
  running_ = false;
  if (exitRequested_) clickExit();
}

void MainWindow::onRunEvent(const RunEvent& event) {
  std::visit(Overloaded{
                 [this](const StepChanged& e) { showStep(e); },
                 [this](const DriveIdentified& e) { controls.Label11.setCaption(DriveTypeLine(e.DriveType)); },
                 [this](const BanksCounted& e) {
                   controls.Label10.setCaption(e.lastFaultOnly ? kLastFaultOnly
                                                               : " / " + std::to_string(e.recorded) + " bank(s)");
                 },
                 [this](const BankStarted& e) { controls.Label9.setCaption(std::to_string(e.number)); },
                 [this](const DatabaseBlockReceived& e) {
                   controls.Label10.setCaption(std::to_string(e.block) + "/" + std::to_string(e.lastBlock));
                 },
                 [this](const RequestResent& e) { controls.LabelResend.setCaption(ResendLine(e)); },
                 [this](const RequestAnswered&) { controls.LabelResend.setCaption(""); },
                 [this](const ProgressMoved& e) { controls.shpScale.setWidth(e.width); },
                 // Shown without a box, so that an unattended run goes on; the end lists it again.
                 [this](const Notice& e) { controls.Label4.setCaption(firstLineOf(e.text)); },
                 [this](const RunEnded& e) { endOfRun(e); },
             },
             event);
}

// Four rows of caption and marker: connect, trace-back (with the database download and the
// trouble records), setting parameters (with the files, the status and the conversion), compress.
void MainWindow::showStep(const StepChanged& change) {
  const StepState state = change.state;
  switch (change.step) {
    case StepId::Connect:
      if (state == StepState::Started) controls.Label7.setCaption(kMarkRunning);
      if (state == StepState::Done) controls.Label7.setCaption(kMarkDone);
      break;
    case StepId::DriveDatabase:
      controls.Label5.setCaption(kMarkRunning);
      if (state == StepState::Started) {
        controls.Label9.setVisible(false);
        controls.Label1.setCaption(StepCaption(StepId::DriveDatabase));
      } else if (state != StepState::Skipped) {
        controls.Label9.setVisible(true);
        controls.Label1.setCaption(StepCaption(StepId::TraceBack));
      }
      break;
    case StepId::TraceBack:
      if (state == StepState::Started) controls.Label5.setCaption(kMarkRunning);
      break;
    case StepId::TroubleRecords:
      if (ended(state)) controls.Label5.setCaption(kMarkDone);
      break;
    case StepId::SettingParameters:
      if (state == StepState::Started) controls.Label6.setCaption(kMarkRunning);
      break;
    case StepId::Conversion:
      if (ended(state)) controls.Label6.setCaption(kMarkDone);
      break;
    case StepId::PackOrMove:
      if (state == StepState::Started) controls.Label8.setCaption(kMarkRunning);
      if (state == StepState::Done) controls.Label8.setCaption(kMarkDone);
      if (state == StepState::Skipped) controls.Label8.setCaption(kMarkSkipped);
      if (state == StepState::Failed) controls.Label8.setCaption(kMarkError);
      break;
    default:
      break;
  }
}

// A failure is shown with the error icon, a cancelled run with where its data is; a completed
// one asks whether to open the folder.
void MainWindow::endOfRun(const RunEnded& e) {
  controls.LabelResend.setCaption("");
  platform::shell::MessageBoxes* boxes = services_.messages;
  if (e.outcome == RunOutcome::Failed) {
    if (boxes) boxes->showError(ClosingMessage(e));
  } else if (e.noBankRecorded) {
    controls.Label4.setCaption(kNoTraceBankWarning);
  }
  if (e.outcome == RunOutcome::Cancelled && boxes) boxes->showMessage(ClosingMessage(e));
  controls.cmd_Cancel.setEnabled(true);
  controls.cmd_Cancel.setCaption("Reset");
  controls.setFocus(&controls.cmd_Cancel);
  lastOutcome_ = e.outcome;

  if (lastOutcome_ != RunOutcome::Completed || exitRequested_) return;
  const std::string question = ClosingMessage(e) + "\r\n\r\nOpen Folder?";
  if (boxes && boxes->askYesNo(question) && services_.openFolder) services_.openFolder(e.folderToOpen);
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
  run_.x().AbortFlag = true;  // the waiting request returns at its next round
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
