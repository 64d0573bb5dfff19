#include "quillon/plant/drive_watch.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QObject>
#include <QTimer>
#include <algorithm>

#include "quillon/live_exchange/velkor_exchange.h"
#include "quillon/plant/plant_runner.h"
#include "quillon/requests/identify_drive.h"
#include "quillon/requests/trace_back_requests.h"

namespace quillon::plant {

namespace {

// Sends of one poll request (VelkorExchange's ten) spread over at most a twentieth of the
// interval, but no re-send sooner than this after the one before (a drive busy saving a fault
// answers late) and none later than the save run's own timer.
constexpr std::chrono::milliseconds kShortestPollTick{100};
constexpr std::chrono::milliseconds kLongestPollTick{kTimeoutIntervalMs};
constexpr int kPollTicksPerInterval = 20;

const char* outcomeText(RunOutcome outcome) {
  switch (outcome) {
    case RunOutcome::Completed: return "completed";
    case RunOutcome::Cancelled: return "cancelled";
    default: return "failed";
  }
}

// The folder of the drive's panel name is taken when its state belongs to a drive at another
// address: then this drive gets "_<address>", as in a save of several drives.
std::filesystem::path watchProgramFolder(const std::filesystem::path& documents, const std::string& panelName,
                                         const DriveAddress& drive) {
  const std::filesystem::path own = quillon::DriveProgramFolder(documents, panelName, drive.address, false);
  std::string problem;
  const std::optional<WatchState> state = ReadWatchState(own, problem);
  const bool nameShared = state && state->address != drive.text();
  return nameShared ? quillon::DriveProgramFolder(documents, panelName, drive.address, true) : own;
}

}  // namespace

std::chrono::milliseconds PollTickInterval(std::chrono::milliseconds every) {
  return std::clamp(every / kPollTicksPerInterval, kShortestPollTick, kLongestPollTick);
}

DriveWatch::DriveWatch(DriveAddress drive, WatchSettings settings, std::shared_ptr<DriveSaver> saver, Tell tell)
    : drive_(std::move(drive)), settings_(std::move(settings)), saver_(std::move(saver)), tell_(std::move(tell)) {}

DriveWatch::~DriveWatch() {
  stop();
  if (thread_) thread_->wait();
}

void DriveWatch::start() {
  thread_.reset(QThread::create([this] { run(); }));
  thread_->start();
}

void DriveWatch::stop() {
  stopRequested_ = true;
  std::lock_guard lock(contextMutex_);
  if (context_) QMetaObject::invokeMethod(context_, [this] { onStop(); }, Qt::QueuedConnection);
}

bool DriveWatch::waitUntilEnded(std::chrono::milliseconds timeout) {
  return !thread_ || thread_->wait(QDeadlineTimer(timeout.count()));
}

void DriveWatch::onStop() {
  abort_.stop();
  if (waiting_) waiting_->quit();
}

WatchEvent DriveWatch::event(WatchEventKind kind) const {
  WatchEvent e;
  e.kind = kind;
  e.drive = drive_.text();
  return e;
}

void DriveWatch::run() {
  QObject context;
  {
    std::lock_guard lock(contextMutex_);
    context_ = &context;
  }
  if (stopRequested_) abort_.stop();
  std::string error;
  poll_ = OpenVelkorExchange(drive_.address, drive_.port, 0, settings_.codePage, error,
                             static_cast<int>(PollTickInterval(settings_.every).count()));
  if (!poll_) {
    WatchEvent e = event(WatchEventKind::Notice);
    e.text = "not watched: " + error;
    tell_(e);
  }
  while (poll_ && !abort_.stopping()) {
    const auto due = std::chrono::steady_clock::now() + settings_.every;
    if (identity_ || identify()) pollOnce();
    waitForNextPoll(due);
  }
  poll_.reset();
  std::lock_guard lock(contextMutex_);
  context_ = nullptr;
}

void DriveWatch::waitForNextPoll(std::chrono::steady_clock::time_point due) {
  if (abort_.stopping()) return;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(due - std::chrono::steady_clock::now());
  if (left.count() <= 0) return;
  QEventLoop loop;
  QTimer timer;
  timer.setSingleShot(true);
  QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
  timer.start(left);
  waiting_ = &loop;
  loop.exec();
  waiting_ = nullptr;
}

void DriveWatch::markSilent(const std::string& why) {
  if (silent_ || abort_.stopping()) return;
  silent_ = true;
  WatchEvent e = event(WatchEventKind::DriveSilent);
  e.text = why;
  tell_(e);
}

void DriveWatch::markAnswering() {
  if (!silent_) return;
  silent_ = false;
  tell_(event(WatchEventKind::DriveBack));
}

// Who the drive is, once, asked as the scan asks: its panel name names its folder. A drive that
// refuses or falls silent is asked again at the next interval.
bool DriveWatch::identify() {
  poll_->state() = ExchangeState{};
  abort_.waitIn(&poll_->state());
  IdentifiedDrive drive{drive_, {}, {}};
  const bool asked = IdentifyDriveAt(*poll_, drive);
  abort_.waitIn(nullptr);
  if (!asked) return false;  // stopping
  if (!drive.note.empty()) {
    markSilent(drive.note);
    return false;
  }
  markAnswering();
  identity_ = drive.identity;
  folder_ = watchProgramFolder(settings_.documents, identity_->PanelName, drive_);
  WatchEvent e = event(WatchEventKind::DriveFound);
  e.driveType = identity_->DriveType;
  e.panelName = identity_->PanelName;
  e.folder = folder_;
  tell_(e);
  return true;
}

void DriveWatch::pollOnce() {
  poll_->state() = ExchangeState{};
  abort_.waitIn(&poll_->state());
  TraceBackTables tables;
  tables.resizeBankTime();
  BankRecordRequests requests(*poll_, tables);
  for (std::uint8_t bank = 0; bank < kWatchedBanks; ++bank) requests.ReadBankTime(bank);
  abort_.waitIn(nullptr);
  if (poll_->state().AbortFlag) {
    markSilent(poll_->state().ErrorText);
    return;
  }
  markAnswering();
  BankStamps now;
  for (int bank = 0; bank < kWatchedBanks; ++bank) now[static_cast<std::size_t>(bank)] = BankStampText(tables.bankTime(bank));

  std::string problem;
  const std::optional<WatchState> state = ReadWatchState(folder_, problem);
  if (!problem.empty()) {
    WatchEvent e = event(WatchEventKind::Notice);
    e.text = problem + "; the drive is saved as one not saved before";
    tell_(e);
  }
  if (!state) {
    if (settings_.firstSave || !problem.empty()) {
      saveDrive({});
      return;
    }
    // Left out: what the drive holds now counts as saved.
    std::error_code ignored;
    std::filesystem::create_directories(folder_, ignored);
    if (const std::string failure = WriteWatchState(folder_, {drive_.text(), now}); !failure.empty()) {
      WatchEvent e = event(WatchEventKind::Notice);
      e.text = "the state was not written: " + failure;
      tell_(e);
    }
    return;
  }
  const std::array<bool, kWatchedBanks> unsaved = UnsavedBanks(now, state->saved);
  std::vector<int> banks;
  for (int bank = 0; bank < kWatchedBanks; ++bank) {
    const auto b = static_cast<std::size_t>(bank);
    if (!unsaved[b]) continue;
    banks.push_back(bank);
    if (announced_[b] == now[b]) continue;
    announced_[b] = now[b];
    WatchEvent e = event(WatchEventKind::NewFault);
    e.bank = bank;
    e.faultTime = now[b];
    tell_(e);
  }
  if (!banks.empty()) saveDrive(banks);
}

void DriveWatch::saveDrive(const std::vector<int>& unsavedBanks) {
  if (abort_.stopping()) return;
  WatchEvent started = event(WatchEventKind::SaveStarted);
  started.banks = unsavedBanks;
  tell_(started);
  const SaveReport report = saver_->save(drive_, folder_, abort_);
  WatchEvent ended = event(WatchEventKind::SaveEnded);
  ended.outcome = outcomeText(report.outcome);
  ended.folder = report.location;
  ended.text = report.outcome == RunOutcome::Failed ? report.message : std::string();
  tell_(ended);
  if (report.outcome != RunOutcome::Completed) return;  // tried again at the next interval
  if (const std::string failure = WriteWatchState(folder_, {drive_.text(), report.stamps}); !failure.empty()) {
    WatchEvent e = event(WatchEventKind::Notice);
    e.text = "the state was not written, so the drive is saved again at the next interval: " + failure;
    tell_(e);
  }
  for (const int bank : unsavedBanks) {
    WatchEvent e = event(WatchEventKind::FaultSaved);
    e.bank = bank;
    e.faultTime = report.stamps[static_cast<std::size_t>(bank)];
    const auto names = report.faultNames.find(bank);
    if (names != report.faultNames.end()) e.faultNames = names->second;
    tell_(e);
  }
}

}  // namespace quillon::plant
