#include "save_run_rig.h"

#include <sys/resource.h>

#include <cstdlib>
#include <system_error>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>

#include "platform/shell/folders.h"
#include "quillon/live_exchange/velkor_exchange.h"
#include "quillon/run/run_context.h"
#include "quillon/run/save_sequence.h"

namespace bench {

namespace fs = std::filesystem;
using namespace quillon;

namespace {

// The drive databases, templates and the simulated drive's own database of the build tree.
fs::path buildTemplates() { return fs::path(QUILLON_BINARY_DIR) / "templates"; }

// Times each step of the run as it starts and ends, and the exchanges' share of it.
class StepTimer : public RunListener {
 public:
  StepTimer(RunEvents& events, const ExchangeClock& exchangeTime) : events_(events), exchangeTime_(exchangeTime) {
    events_.add(*this);
  }
  ~StepTimer() override { events_.remove(*this); }
  StepTimer(const StepTimer&) = delete;
  StepTimer& operator=(const StepTimer&) = delete;

  void onRunEvent(const RunEvent& event) override {
    const auto* changed = std::get_if<StepChanged>(&event);
    if (!changed || changed->state == StepState::Skipped) return;
    const auto now = std::chrono::steady_clock::now();
    const auto inExchanges = exchangeTime_ ? exchangeTime_() : std::chrono::nanoseconds{};
    if (changed->state == StepState::Started) {
      started_ = now;
      startedInExchanges_ = inExchanges;
      return;
    }
    const double seconds = std::chrono::duration<double>(now - started_).count();
    const double exchangeSeconds = std::chrono::duration<double>(inExchanges - startedInExchanges_).count();
    steps.push_back({StepCaption(changed->step), seconds, seconds - exchangeSeconds});
  }

  std::vector<RunFigures::Step> steps;

 private:
  RunEvents& events_;
  const ExchangeClock& exchangeTime_;
  std::chrono::steady_clock::time_point started_;
  std::chrono::nanoseconds startedInExchanges_{};
};

}  // namespace

OwnRegistrationStore::OwnRegistrationStore() {
  std::string pattern = (fs::temp_directory_path() / "quillon_bench_registry_XXXXXX").string();
  if (!::mkdtemp(pattern.data())) return;
  root_ = pattern;
  ::setenv("QUILLON_REGISTRY", root_.c_str(), 1);
}

OwnRegistrationStore::~OwnRegistrationStore() {
  if (root_.empty()) return;
  ::unsetenv("QUILLON_REGISTRY");
  std::error_code ec;
  fs::remove_all(root_, ec);
}

double ProcessCpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

drivesim::DriveOptions DriveOptionsOf(const Layout& layout) {
  drivesim::DriveOptions options;
  options.driveType = layout.driveType;
  options.interfaceLevel = layout.level;
  options.interfaceMinor = layout.minor;
  for (int g = 0; g < 5; ++g) {
    options.groupDepth[g] = static_cast<std::uint8_t>(layout.depth[g]);
    options.groupSignals[g] = static_cast<std::uint8_t>(layout.signalCounts[g]);
  }
  options.recordedBanks.clear();
  for (int b = 0; b < layout.recordedBanks; ++b) options.recordedBanks.push_back(b);
  return options;
}

RunFigures SaveRun(Exchange& exchange, const fs::path& documents, RunScope scope, const ExchangeClock& exchangeTime) {
  platform::shell::DeleteFolder(documents, true);
  const bool whole = scope == RunScope::Whole;
  // Without the drive database (templates only) the banks go into CSV sets.
  const fs::path databases = whole ? buildTemplates() : documents / "templates-only";
  if (!whole) {
    fs::create_directories(databases);
    for (const char* name : {"TRB_TMP.mdb", "SET_TMP.mdb"}) fs::copy_file(buildTemplates() / name, databases / name);
  }
  const Clock noon = [] {
    std::tm noon{};
    noon.tm_year = 124, noon.tm_mon = 5, noon.tm_mday = 11, noon.tm_hour = 12;
    return noon;
  };
  RunContext run(exchange, RunFolders::InDocuments(documents, databases, databases), RunSwitches::Of(""), noon);
  platform::shell::CreateFolder(run.folders.AppFolder);
  StepTimer stepTimer(run.events, exchangeTime);
  const double cpuBefore = ProcessCpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  RunOutcome outcome = RunOutcome::NotRun;
  if (whole) {
    outcome = RunSaveSequence(run, false);
  } else {
    // The trace-back part alone: identity and banks, each bank as its CSV set.
    run.beginRun(false);
    for (auto step : {ConnectToDrive, ReadDriveInformation, ReadTraceBackBanks})
      if (!run.aborted()) step(run);
    outcome = run.endRun();
  }
  RunFigures figures;
  figures.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  figures.cpuSeconds = ProcessCpuSeconds() - cpuBefore;
  figures.exchanges = exchange.sendCount();
  figures.completed = outcome == RunOutcome::Completed;
  if (!figures.completed) figures.problem = run.x().ErrorText;
  figures.steps = std::move(stepTimer.steps);
  return figures;
}

RunFigures SaveRunOverLoopback(const Layout& layout, const fs::path& documents, RunScope scope,
                               drivesim::Misbehaviour misbehaviour) {
  drivesim::SimulatedDrive drive{drivesim::DriveProfile{DriveOptionsOf(layout)}, std::move(misbehaviour)};
  RunFigures failed;
  if (!drive.start({}, failed.problem)) return failed;
  std::shared_ptr<platform::automation::Control> control = CreateVelkorControl(failed.problem);
  if (!control) return failed;
  VelkorExchange exchange(std::move(control));
  failed.problem = exchange.configureAndOpen("127.0.0.1", drive.port(), 0);
  if (!failed.problem.empty()) return failed;
  RunFigures figures = SaveRun(exchange, documents, scope, [&exchange] { return exchange.transactTime(); });
  drive.stop();
  figures.exchangeSeconds = std::chrono::duration<double>(exchange.transactTime()).count();
  figures.driveDelaySeconds = std::chrono::duration<double>(drive.delayedReplyTime()).count();
  return figures;
}

Spread SpreadOf(std::vector<double> values) {
  if (values.empty()) return {};
  std::sort(values.begin(), values.end());
  return {values.front(), values[values.size() / 2]};
}

}  // namespace bench
