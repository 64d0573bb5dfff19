#include "quillon/window/main_window.h"

#include <charconv>
#include <cmath>

#include "platform/shell/folders.h"
#include "quillon/requests/memory_ranges.h"
#include "quillon/window/command_line.h"
#include "quillon/window/save_names.h"

namespace quillon {
namespace fs = std::filesystem;
namespace {

constexpr const char* kStepConnect = "Connecting to Drive";
constexpr const char* kStepTraceBack = "Receiving Trace Back Data";
constexpr const char* kStepDriveDatabase = "Receiving Drive Database";
constexpr const char* kStepSettings = "Receiving Setting Parameter";
constexpr const char* kStepCompress = "Compress the files";
constexpr const char* kMarkRunning = ">>";
constexpr const char* kMarkDone = "Done>";
constexpr const char* kMarkSkipped = "Skip>";
constexpr const char* kMarkError = "Error>";
constexpr const char* kNoBanks = " / 0 bank(s)";
constexpr const char* kLastFaultOnly = " / Last Fault Only";
constexpr const char* kNoTraceBankWarning = "Waring : No Trace Bank Data Received.";
constexpr const char* kWorkingFolderName = "TRBSAVE";
constexpr const char* kProgramFolderName = "Quillon";
constexpr const char* kCompressError = "LHA Compress error";

// Bank time fields, as "MY1" fills them.
constexpr int kYearField = 1, kMonthField = 2, kDayField = 3, kHourField = 4, kMinuteField = 5,
              kSecondField = 6;

long long numberOf(const std::string& text) {
  long long value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

std::string fieldOf(const std::vector<std::string>& row, int field) {
  return field < static_cast<int>(row.size()) ? row[field] : std::string();
}

// The sort keys of a fault time, each rounded to 32 bits as the program always kept them.
struct FaultTimeKey {
  std::int32_t date = 0;
  std::int32_t time = 0;
  bool laterThan(const FaultTimeKey& other) const {
    return date > other.date || (date == other.date && time > other.time);
  }
};

std::int32_t clampedTo32(long long value) {
  return static_cast<std::int32_t>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
}

FaultTimeKey faultTimeKey(const std::vector<std::string>& row) {
  const long long year = numberOf(fieldOf(row, kYearField)), month = numberOf(fieldOf(row, kMonthField)),
                  day = numberOf(fieldOf(row, kDayField)), hour = numberOf(fieldOf(row, kHourField)),
                  minute = numberOf(fieldOf(row, kMinuteField)), second = numberOf(fieldOf(row, kSecondField));
  return {clampedTo32((year * 12 + month) * 31 + day), clampedTo32((hour * 60 + minute) * 60 + second)};
}

}  // namespace

bool BankHoldsRecord(const std::vector<std::string>& row) {
  for (int field = kMonthField; field <= kSecondField; ++field)
    if (fieldOf(row, field) != "00") return true;
  return false;
}

MainWindow::MainWindow(Exchange& exchange, DriveSteps& drive, WindowServices services)
    : exchange_(exchange), drive_(drive), services_(std::move(services)) {}

std::string MainWindow::startUp(const fs::path& documentsFolder, std::string commandLine) {
  drive_.startUp();
  memory = MemoryTables{};
  x().ReplyFlag = false;
  x().AbortFlag = false;

  controls.cmd_Cancel.setEnabled(false);
  controls.shpScale.setWidth(0);
  controls.Label1.setCaption(kStepTraceBack);
  controls.Label2.setCaption(kStepSettings);
  controls.Label3.setCaption(kStepConnect);
  for (Control* label : {&controls.Label4, &controls.Label5, &controls.Label6, &controls.Label7,
                         &controls.Label8, &controls.Label11})
    label->setCaption("");
  controls.Label9.setCaption("0");
  controls.Label10.setCaption(kNoBanks);
  controls.Label12.setCaption(kStepCompress);

  run.CommandLine = std::move(commandLine);
  controls.Check1.setVisible(ShowsDbLoad(run.CommandLine));

  run.AppFolder = documentsFolder / kProgramFolderName;
  return platform_shell::CreateFolder(run.AppFolder);
}

void MainWindow::clickStart() {
  if (running_ || !controls.cmd_Start.enabled()) return;  // only from Idle
  running_ = true;
  beginRun();
  saveSequence();
  endOfRun();
  running_ = false;
  if (exitRequested_) clickExit();
}

void MainWindow::beginRun() {
  controls.cmd_Start.setEnabled(false);
  controls.cmd_Cancel.setEnabled(true);
  ExchangeState& s = x();
  s.AbortFlag = false;
  s.ReplyFlag = false;
  s.ErrorText.clear();
  s.RetryCount = 0;
  drive_.beginRun();
  run.ValidBankCount = 0;
  run.RecordedBankCount = 0;
  saveLocation_.clear();
  folderToOpen_.clear();
}

void MainWindow::fail(std::string message) { x().abortWith(std::move(message)); }

void MainWindow::saveSequence() {
  if (!deletePreviousWorkingFolder()) return;
  controls.Label7.setCaption(kMarkRunning);
  drive_.connect();
  memory.ranges = chooseMemoryRanges(drive_.interfaceLevel(), drive_.driveType());
  if (!checkpoint()) return;
  controls.Label11.setCaption("DriveType = \"" + drive_.driveType() + "\"");
  controls.Label7.setCaption(kMarkDone);

  drive_.readDriveInformation();
  run.SafePanelName = SafePanelNameOf(drive_.panelName());
  if (!checkpoint()) return;

  readTraceBack();
  if (!checkpoint()) return;
  readTroubleRecords();

  readSettingParameters();
  if (!checkpoint()) return;

  packOrMoveWorkingFolder();
}

bool MainWindow::deletePreviousWorkingFolder() {
  const std::string failure = platform_shell::DeleteFolder(run.AppFolder / kWorkingFolderName, true);
  if (failure.empty()) return true;
  // Going on would mix an earlier run's files into this run's archive.
  fail(failure);
  return false;
}

void MainWindow::readTraceBack() {
  controls.Label5.setCaption(kMarkRunning);
  if (controls.Check1.checked()) receiveDriveDatabase();
  drive_.readGroupLayout();

  const bool lastFaultOnly = IsLastFaultOnly(run.CommandLine);
  readBankTimes(lastFaultOnly);
  countRecordedBanks(lastFaultOnly);

  if (lastFaultOnly) {
    readOneBank(static_cast<std::uint8_t>(run.LatestFaultBank));
    return;
  }
  for (int bank = 0; bank < drive_.bankCount(); ++bank) {
    if (!readOneBank(static_cast<std::uint8_t>(bank))) return;
  }
}

void MainWindow::receiveDriveDatabase() {
  controls.Label9.setVisible(false);
  controls.Label1.setCaption(kStepDriveDatabase);
  runHook(laterSteps.receiveDriveDatabase);
  controls.Label9.setVisible(true);
  controls.Label1.setCaption(kStepTraceBack);
}

void MainWindow::readBankTimes(bool lastFaultOnly) {
  drive_.resizeBankTime();
  FaultTimeKey kept;
  haveKeptBank_ = false;
  for (int bank = 0; bank < drive_.bankCount(); ++bank) {
    drive_.readBankTime(static_cast<std::uint8_t>(bank));
    if (!lastFaultOnly) continue;
    // Only a bank that holds a record can be the latest fault: an empty bank's year field is
    // whatever the drive left there.
    const std::vector<std::string> row = drive_.bankTimeRow(bank);
    if (!BankHoldsRecord(row)) continue;
    const FaultTimeKey key = faultTimeKey(row);
    if (key.laterThan(kept)) {
      kept = key;
      run.LatestFaultBank = static_cast<std::int16_t>(bank);
      haveKeptBank_ = true;
    }
  }
  if (lastFaultOnly) {
    if (!haveKeptBank_) run.LatestFaultBank = 0;
    controls.Label10.setCaption(kLastFaultOnly);
    run.ValidBankCount = 1;
  }
}

void MainWindow::countRecordedBanks(bool lastFaultOnly) {
  if (lastFaultOnly) {
    run.RecordedBankCount = haveKeptBank_ ? 1 : 0;
    return;
  }
  for (int bank = 0; bank < drive_.bankCount(); ++bank) {
    if (!BankHoldsRecord(drive_.bankTimeRow(bank))) continue;
    ++run.RecordedBankCount;
    ++run.ValidBankCount;
  }
  controls.Label10.setCaption(" / " + std::to_string(run.RecordedBankCount) + " bank(s)");
}

// Returns false when the run was aborted.
bool MainWindow::readOneBank(std::uint8_t bank) {
  if (!checkpoint()) return false;
  if (!BankHoldsRecord(drive_.bankTimeRow(bank))) return true;
  controls.Label9.setCaption(std::to_string(numberOf(controls.Label9.caption()) + 1));
  const SampleVariant variant = ChooseSampleVariant(drive_.interfaceLevel(), drive_.interfaceMinor(),
                                                    drive_.driveType(), run.CommandLine);
  drive_.readBankHeader(bank);
  if (!checkpoint()) return false;
  drive_.resizeBankTables();
  drive_.readBankSignals(bank, variant, run.ValidBankCount);
  drive_.readBankFaultsAndVersion(bank);
  if (!checkpoint()) return false;
  drive_.saveBank(bank);
  return checkpoint();
}

void MainWindow::readTroubleRecords() {
  runHook(laterSteps.readTroubleRecordsAndEventCounts);
  controls.Label5.setCaption(kMarkDone);
}

void MainWindow::readSettingParameters() {
  if (run.RecordedBankCount == 0) controls.shpScale.setWidth(controls.shpBox.width());
  resizeSetpointWords(memory);
  controls.Label6.setCaption(kMarkRunning);
  runHook(laterSteps.readSetpointMemory);
  if (!checkpoint()) return;
  runHook(laterSteps.writeSetpointAndEventLogFiles);
  runHook(laterSteps.readDriveStatus);
  runHook(laterSteps.convertSaveFolder);
  controls.Label6.setCaption(kMarkDone);
}

void MainWindow::packOrMoveWorkingFolder() {
  controls.Label8.setCaption(kMarkRunning);
  const std::tm now = services_.now ? services_.now() : std::tm{};
  const fs::path target = run.AppFolder / DatedSaveName(now);
  if (SkipsArchive(run.CommandLine)) {
    controls.Label8.setCaption(kMarkSkipped);
    moveWorkingFolder(target);
  } else {
    packWorkingFolder(target);
  }
}

void MainWindow::moveWorkingFolder(const fs::path& target) {
  const fs::path working = run.AppFolder / kWorkingFolderName;
  saveLocation_ = target;
  folderToOpen_ = target;
  if (!platform_shell::FolderExists(working)) return;
  std::string failure = platform_shell::CreateFolder(run.AppFolder);
  if (failure.empty()) failure = platform_shell::MoveFolder(working, target);
  if (!failure.empty()) fail(failure);
}

void MainWindow::packWorkingFolder(const fs::path& target) {
  const fs::path working = run.AppFolder / kWorkingFolderName;
  const fs::path archive = target.string() + ".lzh";
  saveLocation_ = archive;
  folderToOpen_ = run.AppFolder;
  // A run that wrote nothing (all banks empty, nothing else saved) still makes its archive.
  if (std::string failure = platform_shell::CreateFolder(working); !failure.empty()) {
    fail(failure);
    controls.Label8.setCaption(kMarkError);
    return;
  }
  const int result = services_.unlha ? services_.unlha(PackCommand(archive, working)) : -1;
  if (result == 0) {
    if (platform_shell::FolderExists(working)) {
      std::string failure = platform_shell::SetAttributesNormal(working);
      if (failure.empty()) failure = platform_shell::DeleteFolder(working, false);
      if (!failure.empty()) fail(failure);
    }
  } else {
    fail(kCompressError);
  }
  controls.Label8.setCaption(x().ErrorText.empty() ? kMarkDone : kMarkError);
}

void MainWindow::endOfRun() {
  const ExchangeState& s = x();
  if (!s.ErrorText.empty()) {
    if (services_.messages) services_.messages->showMessage(s.ErrorText);
  } else if (run.RecordedBankCount == 0) {
    controls.Label4.setCaption(kNoTraceBankWarning);
  }
  controls.cmd_Cancel.setEnabled(true);
  controls.cmd_Cancel.setCaption("Reset");

  if (!s.ErrorText.empty()) lastOutcome_ = RunOutcome::Failed;
  else if (s.AbortFlag) lastOutcome_ = RunOutcome::Cancelled;
  else lastOutcome_ = RunOutcome::Completed;

  if (lastOutcome_ != RunOutcome::Completed || exitRequested_) return;
  const std::string question = "Complete\r\nTraceback file location = " + saveLocation_.string() +
                               "\r\n\r\nOpen Folder?";
  if (services_.messages && services_.messages->askYesNo(question) && services_.openFolder)
    services_.openFolder(folderToOpen_);
}

void MainWindow::clickCancel() {
  if (!controls.cmd_Cancel.enabled()) return;
  if (controls.cmd_Cancel.caption() == "Cancel") {
    controls.cmd_Cancel.setEnabled(false);
    x().AbortFlag = true;  // the waiting request returns at its next round
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
  controls.shpScale.setWidth(0);
  x().ErrorText.clear();
}

void MainWindow::clickExit() {
  if (running_) {
    // Leaving in the middle of a request would drop the run mid-way: cancel it, then leave.
    exitRequested_ = true;
    x().AbortFlag = true;
    controls.cmd_Cancel.setEnabled(false);
    return;
  }
  if (services_.quitProgram) services_.quitProgram();
}

}  // namespace quillon
