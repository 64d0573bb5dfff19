// Several drives saved at once against one drive saved alone, in the same run: N simulated
// drives on 127.0.0.11 and up answer each request after 2 ms; the saves run in a child process
// of their own (this program again), so that its CPU time and peak memory are the tool's alone.
// One line per N: wall time against the single save's, CPU per exchange against the single
// save's, peak RSS.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bench/saverun/save_run_rig.h"
#include "drivesim/simulated_drive.h"
#include "platform/shell/folders.h"
#include "quillon/live_exchange/velkor_exchange.h"
#include "quillon/plant/plant_runner.h"
#include "quillon/run/run_context.h"
#include "quillon/run/save_sequence.h"

extern char** environ;

namespace {
namespace fs = std::filesystem;
using namespace quillon;

constexpr int kReplyDelayMs = 2;
constexpr int kBaselineTrials = 3;
const std::vector<int> kCounts = {1, 8, 32, 64};

fs::path buildTemplates() { return fs::path(QUILLON_BINARY_DIR) / "templates"; }

double cpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// ---- the child: one save, timed; prints "<wall seconds> <cpu seconds> <completed>" ----

bool saveAlone(const PlantDrive& drive, const fs::path& documents) {
  std::string error;
  auto control = CreateVelkorControl(error);
  if (!control) return false;
  VelkorExchange exchange(std::move(control));
  if (!exchange.configureAndOpen(drive.address, drive.port, 0).empty()) return false;
  RunContext run(exchange, RunFolders::InDocuments(documents, buildTemplates(), documents / "no-install"),
                 RunSwitches::Of(""));
  return RunSaveSequence(run, false) == RunOutcome::Completed;
}

bool saveAtOnce(const std::vector<PlantDrive>& drives, const fs::path& documents) {
  PlantPlan plan;
  plan.drives = drives;
  plan.jobs = static_cast<int>(drives.size());
  plan.documents = documents;
  plan.templateFolder = buildTemplates();
  plan.installRoot = documents / "no-install";
  PlantEvents quiet;
  return PlantExitStatus(RunPlantSaves(plan, quiet)) == 0;
}

// "127.0.0.11:40001,127.0.0.12:40002"
std::vector<PlantDrive> drivesOf(const std::string& list) {
  std::vector<PlantDrive> drives;
  std::stringstream in(list);
  for (std::string item; std::getline(in, item, ',');) {
    const auto colon = item.find(':');
    drives.push_back({item.substr(0, colon), static_cast<std::uint16_t>(std::stoi(item.substr(colon + 1)))});
  }
  return drives;
}

int child(int argc, char** argv, bool alone) {
  QCoreApplication app(argc, argv);
  const std::vector<PlantDrive> drives = drivesOf(argv[2]);
  const fs::path documents = argv[3];
  const double cpu = cpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  const bool completed = alone ? saveAlone(drives.front(), documents) : saveAtOnce(drives, documents);
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%.6f %.6f %d\n", wall, cpuSeconds() - cpu, completed ? 1 : 0);
  return 0;
}

// ---- the parent: the drives, the children and the figures ----

struct Figures {
  bool completed = false;
  double wall = 0, cpu = 0;
  double peakMb = 0;
  std::uint64_t exchanges = 0;
  double cpuPerExchange() const { return exchanges ? cpu / static_cast<double>(exchanges) : 0; }
};

std::uint64_t requestsOf(const std::vector<std::unique_ptr<drivesim::SimulatedDrive>>& drives, std::size_t count) {
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < count; ++i) sum += drives[i]->requestCount();
  return sum;
}

Figures runChild(const std::string& mode, const std::vector<std::unique_ptr<drivesim::SimulatedDrive>>& drives,
                 std::size_t count, const fs::path& scratch) {
  std::string list;
  for (std::size_t i = 0; i < count; ++i)
    list += (i ? "," : "") + drivesim::PlantDriveAddress(static_cast<int>(i) + 1) + ":" + std::to_string(drives[i]->port());
  const fs::path documents = scratch / (mode + std::to_string(count));
  fs::create_directories(documents);
  int out[2];
  Figures figures;
  if (::pipe(out) != 0) return figures;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  const std::string self = fs::read_symlink("/proc/self/exe").string();
  std::vector<std::string> words = {self, mode, list, documents.string()};
  std::vector<char*> args;
  for (std::string& word : words) args.push_back(word.data());
  args.push_back(nullptr);
  const std::uint64_t before = requestsOf(drives, count);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, self.c_str(), &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  std::string text;
  char buffer[256];
  for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(n));
  ::close(out[0]);
  if (spawned != 0) return figures;
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  int completed = 0;
  if (std::sscanf(text.c_str(), "%lf %lf %d", &figures.wall, &figures.cpu, &completed) == 3)
    figures.completed = completed == 1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  figures.peakMb = static_cast<double>(usage.ru_maxrss) / 1024.0;
  figures.exchanges = requestsOf(drives, count) - before;
  platform::shell::DeleteFolder(documents, true);
  return figures;
}

Figures median(std::vector<Figures> trials) {
  std::sort(trials.begin(), trials.end(), [](const Figures& a, const Figures& b) { return a.wall < b.wall; });
  return trials[trials.size() / 2];
}

int parent() {
  bench::OwnRegistrationStore store;  // inherited by the children through the environment
  const int most = *std::max_element(kCounts.begin(), kCounts.end());
  std::vector<std::unique_ptr<drivesim::SimulatedDrive>> drives;
  drivesim::Misbehaviour late;
  late.delayMs = kReplyDelayMs;
  for (int number = 1; number <= most; ++number) {
    auto drive = std::make_unique<drivesim::SimulatedDrive>(
        drivesim::DriveProfile(drivesim::WithStoredDatabase()), late);
    drive->setSpinBeforeDue(std::chrono::microseconds(0));  // 64 drives on a few cores must sleep
    drivesim::DriveEndpoint endpoint;
    endpoint.address = drivesim::PlantDriveAddress(number);
    std::string error;
    if (!drive->start(endpoint, error)) {
      std::fprintf(stderr, "plant_bench: drive %d did not start: %s\n", number, error.c_str());
      return 1;
    }
    drives.push_back(std::move(drive));
  }
  const fs::path scratch = fs::temp_directory_path() / ("quillon_plant_bench_" + std::to_string(::getpid()));
  std::vector<Figures> trials;
  for (int trial = 0; trial < kBaselineTrials; ++trial) trials.push_back(runChild("--alone", drives, 1, scratch));
  const Figures one = median(trials);
  if (!one.completed) {
    std::fprintf(stderr, "plant_bench: the single save did not complete\n");
    platform::shell::DeleteFolder(scratch, true);
    return 1;
  }
  std::printf("plant_bench: drives answering after %d ms; one drive's save alone (median of %d): %.2f s, %llu "
              "exchanges, CPU %.1f us per exchange, peak RSS %.0f MB\n",
              kReplyDelayMs, kBaselineTrials, one.wall, static_cast<unsigned long long>(one.exchanges),
              one.cpuPerExchange() * 1e6, one.peakMb);
  for (const int count : kCounts) {
    const Figures at = runChild("--at-once", drives, static_cast<std::size_t>(count), scratch);
    std::printf("%d drive%s: %.2f x one drive's time, CPU per exchange %.2f x, peak RSS %.0f MB (limit %d MB)%s\n",
                count, count == 1 ? "" : "s", at.wall / one.wall, at.cpuPerExchange() / one.cpuPerExchange(),
                at.peakMb, 64 + 4 * count, at.completed ? "" : "  NOT ALL COMPLETED");
    std::fflush(stdout);
  }
  platform::shell::DeleteFolder(scratch, true);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--alone") == 0) return child(argc, argv, true);
  if (argc == 4 && std::strcmp(argv[1], "--at-once") == 0) return child(argc, argv, false);
  return parent();
}
