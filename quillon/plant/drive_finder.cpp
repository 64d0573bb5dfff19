#include "quillon/plant/drive_finder.h"

#include <algorithm>

namespace quillon::plant {

DriveFinder::DriveFinder(ScanOptions options, std::chrono::milliseconds every, std::function<bool()> stopping,
                         Problem problem)
    : options_(std::move(options)), stopping_(std::move(stopping)), problem_(std::move(problem)) {
  options_.wait = std::min(options_.wait, every / 2);
  timer_.setInterval(every);
  QObject::connect(&timer_, &QTimer::timeout, [this] { ask(); });
}

void DriveFinder::onFound(Found found) {
  found_ = std::move(found);
  ask();
  timer_.start();
}

void DriveFinder::ask() {
  ScanEvents events;
  events.cancelled = stopping_;
  const ScanResult answered = FindAnsweringDrives(options_, events);
  if (!answered.error.empty()) tellOnce("no drives can be found: " + answered.error);
  for (const ScanTarget& target : answered.asked)
    if (!target.problem.empty()) tellOnce("no drives can be found at " + target.address + ": " + target.problem);
  for (const FoundDrive& drive : answered.drives) {
    // A refusal or an answer that is no interface version is no drive to watch.
    if (!drive.note.empty() || (stopping_ && stopping_())) continue;
    if (known_.insert(drive.at.text()).second && found_) found_(drive.at);
  }
}

void DriveFinder::tellOnce(const std::string& problem) {
  if (toldProblems_.insert(problem).second && problem_) problem_(problem);
}

}  // namespace quillon::plant
