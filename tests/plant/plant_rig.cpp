#include "tests/plant/plant_rig.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

namespace quillon_test {
namespace {

constexpr const char* kNamePrefix = "qplant";
constexpr const char* kBridge = "br0";
constexpr const char* kDriveLink = "eth0";

std::string joined(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& word : words) text += (text.empty() ? "" : " ") + word;
  return text;
}

// Namespaces of rigs whose test process is gone (killed before its teardown).
void removeLeftoversOfDeadProcesses() {
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator("/run/netns", ignored)) {
    const std::string name = entry.path().filename().string();
    if (!name.starts_with(kNamePrefix)) continue;
    const long pid = std::strtol(name.c_str() + std::strlen(kNamePrefix), nullptr, 10);
    if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) RunCommand({"ip", "netns", "del", name});
  }
}

}  // namespace

CommandResult RunCommand(const std::vector<std::string>& argv, std::chrono::milliseconds timeout) {
  CommandResult result;
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return result;
  std::vector<char*> args;
  for (const std::string& word : argv) args.push_back(const_cast<char*>(word.c_str()));
  args.push_back(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    ::dup2(out[1], STDOUT_FILENO);
    ::dup2(out[1], STDERR_FILENO);
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  ::close(out[1]);
  if (child < 0) {
    ::close(out[0]);
    return result;
  }
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  bool late = false;
  char buffer[4096];
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      late = true;
      ::kill(child, SIGKILL);
      break;
    }
    pollfd ready{out[0], POLLIN, 0};
    if (::poll(&ready, 1, static_cast<int>(left.count())) < 0 && errno != EINTR) break;
    const ssize_t got = ::read(out[0], buffer, sizeof buffer);
    if (got == 0) break;
    if (got > 0) result.output.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(out[0]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (!late && WIFEXITED(status)) result.status = WEXITSTATUS(status);
  if (late) result.output += "\n(killed after " + std::to_string(timeout.count()) + " ms)";
  return result;
}

bool RunningInCi() {
  const char* ci = std::getenv("CI");
  return ci && std::string(ci) == "true";
}

std::string PlantRigUnavailable() {
  static const std::string why = [] {
    if (::geteuid() != 0)
      return "the plant rig makes network namespaces and needs root (running as uid " + std::to_string(::geteuid()) + ")";
    if (RunCommand({"ip", "-V"}).status != 0) return std::string("the plant rig needs the ip command (package iproute2)");
    return std::string();
  }();
  return why;
}

PlantRig::PlantRig(int driveCount) {
  error_ = PlantRigUnavailable();
  if (!error_.empty()) return;
  removeLeftoversOfDeadProcesses();
  static int rigs = 0;
  const std::string prefix = kNamePrefix + std::to_string(::getpid()) + "-" + std::to_string(++rigs);
  hub_ = prefix + "-hub";
  names_.push_back(hub_);
  // The default route takes 255.255.255.255 onto the bridge: the hub has no other way out.
  bool built = ip({"netns", "add", hub_}) && ip({"-n", hub_, "link", "set", "lo", "up"}) &&
               ip({"-n", hub_, "link", "add", kBridge, "type", "bridge"}) &&
               ip({"-n", hub_, "addr", "add", std::string(kPlantToolAddress) + "/24", "brd", "+", "dev", kBridge}) &&
               ip({"-n", hub_, "link", "set", kBridge, "up"}) && ip({"-n", hub_, "route", "add", "default", "dev", kBridge});
  for (int drive = 0; built && drive < driveCount; ++drive) {
    const std::string ns = prefix + "-d" + std::to_string(drive);
    const std::string port = "d" + std::to_string(drive);
    names_.push_back(ns);
    built = ip({"netns", "add", ns}) && ip({"-n", ns, "link", "set", "lo", "up"}) &&
            ip({"-n", ns, "link", "add", kDriveLink, "type", "veth", "peer", "name", port, "netns", hub_}) &&
            ip({"-n", ns, "addr", "add", DriveAddress(drive) + "/24", "brd", "+", "dev", kDriveLink}) &&
            ip({"-n", ns, "link", "set", kDriveLink, "up"}) && ip({"-n", hub_, "link", "set", port, "master", kBridge}) &&
            ip({"-n", hub_, "link", "set", port, "up"});
  }
}

PlantRig::~PlantRig() {
  for (const std::string& ns : names_) RunCommand({"ip", "netns", "del", ns});
}

bool PlantRig::ip(const std::vector<std::string>& args) {
  std::vector<std::string> argv{"ip"};
  argv.insert(argv.end(), args.begin(), args.end());
  const CommandResult done = RunCommand(argv);
  if (done.status == 0) return true;
  error_ = "the plant could not be built: " + joined(argv) + ": " + done.output;
  return false;
}

void PlantRig::InNamespace(const std::string& ns, const std::function<void()>& work) {
  std::string failure;
  std::thread inside([&] {
    const int fd = ::open(("/run/netns/" + ns).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::setns(fd, CLONE_NEWNET) != 0) failure = std::strerror(errno);
    else work();
    if (fd >= 0) ::close(fd);
  });
  inside.join();
  if (!failure.empty()) ADD_FAILURE() << "cannot enter the network namespace " << ns << ": " << failure;
}

std::unique_ptr<drivesim::SimulatedDrive> PlantRig::startDrive(int drive, drivesim::DriveOptions options,
                                                               drivesim::Misbehaviour misbehaviour, std::uint16_t port) {
  auto simulated = std::make_unique<drivesim::SimulatedDrive>(drivesim::DriveProfile(std::move(options)),
                                                              std::move(misbehaviour));
  std::string why;
  bool started = false;
  InNamespace(driveNamespace(drive), [&] { started = simulated->start({"0.0.0.0", port, {}}, why); });
  if (!started) ADD_FAILURE() << "drive " << drive << " did not start: " << why;
  return simulated;
}

CommandResult PlantRig::runInHub(std::vector<std::string> argv, std::chrono::milliseconds timeout) {
  argv.insert(argv.begin(), {"ip", "netns", "exec", hub_});
  return RunCommand(argv, timeout);
}

}  // namespace quillon_test
