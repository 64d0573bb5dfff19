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

bool ended(StepState state) { return state != StepState::Started; }

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
  return platform_shell::CreateFolder(run_.folders.AppFolder);
}

void MainWindow::clickStart() {
  if (running_ || !controls.cmd_Start.enabled()) return;  // only from Idle
  running_ = true;
  controls.cmd_Start.setEnabled(false);
  controls.cmd_Cancel.setEnabled(true);
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
                 [](const RequestResent&) {},  // the window has no place for it; the timer just sends again
                 [this](const ProgressMoved& e) { controls.shpScale.setWidth(e.width); },
                 [this](const Notice& e) {
                   if (services_.messages) services_.messages->showMessage(e.text);
                 },
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

void MainWindow::endOfRun(const RunEnded& e) {
  if (!e.message.empty()) {
    if (services_.messages) services_.messages->showMessage(e.message);
  } else if (e.noBankRecorded) {
    controls.Label4.setCaption(kNoTraceBankWarning);
  }
  controls.cmd_Cancel.setEnabled(true);
  controls.cmd_Cancel.setCaption("Reset");
  lastOutcome_ = e.outcome;

  if (lastOutcome_ != RunOutcome::Completed || exitRequested_) return;
  const std::string question = CompletionMessage(e.location) + "\r\n\r\nOpen Folder?";
  if (services_.messages && services_.messages->askYesNo(question) && services_.openFolder)
    services_.openFolder(e.folderToOpen);
}

void MainWindow::clickCancel() {
  if (!controls.cmd_Cancel.enabled()) return;
  if (controls.cmd_Cancel.caption() == "Cancel") {
    controls.cmd_Cancel.setEnabled(false);
    run_.x().AbortFlag = true;  // the waiting request returns at its next round
    return;
  }
  resetDisplay();
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
}

void MainWindow::clickExit() {
  if (running_) {
    // Leaving in the middle of a request would drop the run mid-way: cancel it, then leave.
    exitRequested_ = true;
    run_.x().AbortFlag = true;
    controls.cmd_Cancel.setEnabled(false);
    return;
  }
  if (services_.quitProgram) services_.quitProgram();
}

}  // namespace quillon
