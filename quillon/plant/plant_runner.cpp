#include "quillon/plant/plant_runner.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QObject>
#include <QThread>
#include <algorithm>
#include <exception>
#include <map>

#include "quillon/live_exchange/velkor_exchange.h"
#include "quillon/requests/identity_requests.h"
#include "quillon/run/run_context.h"
#include "quillon/run/run_folders.h"
#include "quillon/run/save_names.h"
#include "quillon/run/save_sequence.h"

namespace quillon {
namespace {

using SteadyClock = std::chrono::steady_clock;

std::string withoutTrailingBlanks(std::string text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
  return text;
}

std::string safeFolderName(const std::string& panelName, const std::string& address) {
  const std::string safe = SafePanelNameOf(panelName);
  return safe.empty() ? SafePanelNameOf(address) : safe;
}

// The control, configured for one drive on a free port of its own (several runs cannot share
// one), created on the thread that uses it: its socket notifier belongs to that thread's loop.
std::unique_ptr<VelkorExchange> openExchange(const PlantPlan& plan, const PlantDrive& drive, std::string& error) {
  std::shared_ptr<platform::automation::Control> control = CreateVelkorControl(error);
  if (!control) return nullptr;
  auto exchange = std::make_unique<VelkorExchange>(std::move(control), plan.codePage, plan.tickIntervalMs);
  if (std::string failure = exchange->configureAndOpen(drive.address, drive.port, 0); !failure.empty()) {
    error = std::move(failure);
    return nullptr;
  }
  return exchange;
}

RunOutcome outcomeOf(const ExchangeState& state) {
  if (!state.ErrorText.empty()) return RunOutcome::Failed;
  return state.AbortFlag ? RunOutcome::Cancelled : RunOutcome::Completed;
}

// Hands a run's events to the plant's listener, one call at a time, and keeps its end.
class EventRelay : public RunListener {
 public:
  EventRelay(RunEvents& events, std::mutex& mutex, PlantEvents& plant, std::size_t drive)
      : events_(events), mutex_(mutex), plant_(plant), drive_(drive) {
    events_.add(*this);
  }
  ~EventRelay() override { events_.remove(*this); }
  void onRunEvent(const RunEvent& event) override {
    if (const auto* ended = std::get_if<RunEnded>(&event)) end = *ended;
    std::lock_guard lock(mutex_);
    plant_.driveEvent(drive_, event);
  }
  RunEnded end;

 private:
  RunEvents& events_;
  std::mutex& mutex_;
  PlantEvents& plant_;
  std::size_t drive_;
};

}  // namespace

// What Cancel needs of a drive's thread: a receiver living on it, through which the abort is
// set on that thread (the exchange's flags are that thread's alone).
struct PlantRunner::Slot {
  std::atomic<bool> cancelled{false};
  QObject* receiver = nullptr;  // guarded by slotsMutex_
  ExchangeState* state = nullptr;
  SteadyClock::time_point started{};
  bool identified = false;
};

std::string DriveLabel(const std::string& address, const std::string& panelName) {
  const std::string name = withoutTrailingBlanks(panelName);
  return name.empty() ? address : address + " " + name;
}

std::filesystem::path DriveProgramFolder(const std::filesystem::path& documents, const std::string& panelName,
                                         const std::string& address, bool nameShared) {
  std::string name = safeFolderName(panelName, address);
  if (nameShared && !SafePanelNameOf(panelName).empty()) name += "_" + SafePanelNameOf(address);
  return documents / kProgramFolderName / name;
}

PlantRunner::PlantRunner(PlantPlan plan, PlantEvents& events) : plan_(std::move(plan)), events_(events) {
  plan_.jobs = std::max(1, plan_.jobs);
  for (const PlantDrive& drive : plan_.drives) {
    DriveResult result;
    result.drive = drive;
    results_.push_back(std::move(result));
    slots_.push_back(std::make_unique<Slot>());
  }
}

PlantRunner::~PlantRunner() = default;

std::vector<DriveResult> PlantRunner::run() {
  onDriveThreads([this](std::size_t drive) { identify(drive); });
  assignFolders();
  onDriveThreads([this](std::size_t drive) {
    if (slots_[drive]->identified) save(drive);
  });
  return results_;
}

template <typename Work>
void PlantRunner::onDriveThreads(Work work) {
  const std::size_t count = results_.size();
  const std::size_t threads = std::min<std::size_t>(static_cast<std::size_t>(plan_.jobs), count);
  if (threads == 0) return;
  std::atomic<std::size_t> next{0};
  std::size_t left = threads;
  QEventLoop loop;
  std::vector<QThread*> started;
  for (std::size_t t = 0; t < threads; ++t) {
    QThread* thread = QThread::create([this, &next, count, &work] {
      for (std::size_t drive; (drive = next.fetch_add(1)) < count;) {
        try {
          work(drive);
        } catch (const std::exception& error) {
          results_[drive].outcome = RunOutcome::Failed;
          results_[drive].message = std::string("the run ended on an internal error: ") + error.what();
        }
      }
    });
    // Queued to this thread: the loop counts the threads that are done.
    QObject::connect(thread, &QThread::finished, &loop, [&left, &loop] {
      if (--left == 0) loop.quit();
    });
    started.push_back(thread);
    thread->start();
  }
  loop.exec();
  for (QThread* thread : started) {
    thread->wait();
    delete thread;
  }
}

void PlantRunner::identify(std::size_t drive) {
  Slot& slot = *slots_[drive];
  DriveResult& result = results_[drive];
  slot.started = SteadyClock::now();
  if (slot.cancelled || cancelledAll_) {
    result.outcome = RunOutcome::Cancelled;
  } else {
    std::string error;
    const std::unique_ptr<VelkorExchange> exchange = openExchange(plan_, result.drive, error);
    if (!exchange) {
      result.outcome = RunOutcome::Failed;
      result.message = error;
    } else {
      QObject receiver;
      {
        std::lock_guard lock(slotsMutex_);
        slot.receiver = &receiver;
        slot.state = &exchange->state();
      }
      if (slot.cancelled || cancelledAll_) exchange->state().AbortFlag = true;
      DriveIdentity identity;
      IdentityRequests requests(*exchange, identity);
      requests.ReadInterfaceVersion();
      requests.ReadPanelName();
      {
        std::lock_guard lock(slotsMutex_);
        slot.receiver = nullptr;
        slot.state = nullptr;
      }
      result.outcome = outcomeOf(exchange->state());
      result.message = exchange->state().ErrorText;
      if (result.outcome == RunOutcome::Completed) {
        result.panelName = withoutTrailingBlanks(identity.PanelName);
        result.outcome = RunOutcome::NotRun;  // the save is still to come
        slot.identified = true;
      }
    }
  }
  result.duration = std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - slot.started);
  std::lock_guard lock(eventsMutex_);
  events_.driveIdentified(drive, result);
  if (!slot.identified) events_.driveFinished(drive, result);
}

void PlantRunner::assignFolders() {
  std::map<std::string, int> uses;
  for (std::size_t i = 0; i < results_.size(); ++i)
    if (slots_[i]->identified) ++uses[safeFolderName(results_[i].panelName, results_[i].drive.address)];
  for (std::size_t i = 0; i < results_.size(); ++i) {
    DriveResult& result = results_[i];
    if (!slots_[i]->identified) continue;
    const bool shared = uses[safeFolderName(result.panelName, result.drive.address)] > 1;
    result.programFolder = DriveProgramFolder(plan_.documents, result.panelName, result.drive.address, shared);
  }
}

void PlantRunner::save(std::size_t drive) {
  Slot& slot = *slots_[drive];
  DriveResult& result = results_[drive];
  std::string error;
  const std::unique_ptr<VelkorExchange> exchange =
      slot.cancelled || cancelledAll_ ? nullptr : openExchange(plan_, result.drive, error);
  if (!exchange) {
    result.outcome = error.empty() ? RunOutcome::Cancelled : RunOutcome::Failed;
    result.message = error;
  } else {
    RunContext run(*exchange, RunFolders{result.programFolder, plan_.templateFolder, plan_.installRoot}, plan_.switches);
    EventRelay relay(run.events, eventsMutex_, events_, drive);
    QObject receiver;
    {
      std::lock_guard lock(slotsMutex_);
      slot.receiver = &receiver;
      slot.state = &exchange->state();
    }
    // Cancel may have come between the check above and here: the run then sends nothing.
    const bool cancelledBefore = slot.cancelled || cancelledAll_;
    RunOutcome outcome = RunOutcome::Cancelled;
    if (!cancelledBefore) outcome = RunSaveSequence(run, plan_.dbLoad);
    {
      std::lock_guard lock(slotsMutex_);
      slot.receiver = nullptr;
      slot.state = nullptr;
    }
    result.outcome = outcome;
    result.message = relay.end.message;
    result.location = relay.end.location;
  }
  result.duration = std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - slot.started);
  std::lock_guard lock(eventsMutex_);
  events_.driveFinished(drive, result);
}

void PlantRunner::post(std::size_t drive) {
  std::lock_guard lock(slotsMutex_);
  Slot& slot = *slots_[drive];
  if (!slot.receiver) return;
  ExchangeState* state = slot.state;
  QMetaObject::invokeMethod(slot.receiver, [state] { state->AbortFlag = true; }, Qt::QueuedConnection);
}

void PlantRunner::cancel(std::size_t drive) {
  if (drive >= slots_.size()) return;
  slots_[drive]->cancelled = true;
  post(drive);
}

void PlantRunner::cancelAll() {
  cancelledAll_ = true;
  for (std::size_t drive = 0; drive < slots_.size(); ++drive) post(drive);
}

std::vector<DriveResult> RunPlantSaves(const PlantPlan& plan, PlantEvents& events) {
  PlantRunner runner(plan, events);
  return runner.run();
}

int PlantExitStatus(const std::vector<DriveResult>& results) {
  for (const DriveResult& result : results)
    if (result.outcome != RunOutcome::Completed) return 1;
  return results.empty() ? 1 : 0;
}

}  // namespace quillon
