// watch_bench [--drives N] [--seconds S]: N simulated drives (default 64) on loopback addresses
// of their own, watched by the quillon program with --every 1 (--no-first-save, so that the
// figures are the polls') for S seconds (default 20); its CPU time, CPU per exchange and peak RSS
// beside the same of a watch of one drive (at most 30 s of it), measured in the same run.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "drivesim/simulated_drive.h"

extern char** environ;

namespace {

struct Figures {
  double cpuSeconds = 0;
  double wallSeconds = 0;
  std::size_t exchanges = 0;
  long peakRssKb = 0;
};

Figures watchDrives(int count, int seconds) {
  std::vector<std::unique_ptr<drivesim::SimulatedDrive>> drives;
  std::vector<std::string> args{QUILLON_BINARY_DIR "/quillon/window/quillon", "watch", "--every", "1", "--no-first-save"};
  const std::filesystem::path documents = std::filesystem::temp_directory_path() / ("watch_bench_" + std::to_string(::getpid()));
  args.insert(args.end(), {"--documents", documents.string()});
  for (int i = 0; i < count; ++i) {
    drivesim::DriveOptions options;
    options.panelName = "Bench " + std::to_string(i + 1);
    auto drive = std::make_unique<drivesim::SimulatedDrive>(drivesim::DriveProfile(options));
    drivesim::DriveEndpoint endpoint;
    endpoint.address = "127.0.29." + std::to_string(i + 1);
    std::string error;
    if (!drive->start(endpoint, error)) {
      std::fprintf(stderr, "watch_bench: %s\n", error.c_str());
      std::exit(1);
    }
    args.insert(args.end(), {"--drive", endpoint.address + ":" + std::to_string(drive->port())});
    drives.push_back(std::move(drive));
  }
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const auto start = std::chrono::steady_clock::now();
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
    std::perror("watch_bench: quillon");
    std::exit(1);
  }
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  ::kill(pid, SIGTERM);
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  Figures f;
  f.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  f.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  f.peakRssKb = usage.ru_maxrss;
  for (const auto& d : drives) f.exchanges += d->requestCount();
  std::error_code ignored;
  std::filesystem::remove_all(documents, ignored);
  return f;
}

void print(const char* what, const Figures& f) {
  std::printf("%s: CPU %.2f%% of one core, %.1f us CPU per exchange (%zu exchanges in %.0f s), peak RSS %.1f MB\n", what,
              100.0 * f.cpuSeconds / f.wallSeconds, f.exchanges ? 1e6 * f.cpuSeconds / static_cast<double>(f.exchanges) : 0.0,
              f.exchanges, f.wallSeconds, static_cast<double>(f.peakRssKb) / 1024.0);
}

}  // namespace

int main(int argc, char** argv) {
  int drives = 64, seconds = 20;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--drives") drives = std::atoi(argv[i + 1]);
    else if (option == "--seconds") seconds = std::atoi(argv[i + 1]);
  }
  if (drives < 1 || drives > 250 || seconds < 3) {
    std::fprintf(stderr, "usage: watch_bench [--drives 1-250] [--seconds 3 or more]\n");
    return 64;
  }
  const Figures one = watchDrives(1, std::min(seconds, 30));
  const Figures many = watchDrives(drives, seconds);
  print("1 drive  ", one);
  print((std::to_string(drives) + " drives").c_str(), many);
  std::printf("%d drives against 1: CPU %.1f x, CPU per exchange %.2f x, peak RSS %.2f x\n", drives,
              (many.cpuSeconds / many.wallSeconds) / (one.cpuSeconds / one.wallSeconds),
              (many.cpuSeconds / static_cast<double>(many.exchanges)) / (one.cpuSeconds / static_cast<double>(one.exchanges)),
              static_cast<double>(many.peakRssKb) / static_cast<double>(one.peakRssKb));
  return 0;
}
