#pragma once
// The drives of `quillon watch --all`: every interval the scan's "QT" goes to the broadcast
// address of every local adapter and to 255.255.255.255, and every drive that answers and was
// not answering before is told once. It runs in the event loop of the thread that opens it;
// while it collects answers, that loop goes on serving the thread's other events.
#include <chrono>
#include <functional>
#include <set>
#include <string>

#include <QTimer>

#include "quillon/plant/drive_scan.h"

namespace quillon::plant {

class DriveFinder {
 public:
  using Found = std::function<void(const DriveAddress&)>;
  using Problem = std::function<void(const std::string&)>;
  // `options.wait` is capped to half the interval, so that one round ends before the next.
  // `problem` hears each distinct reason once why "QT" could not go out somewhere.
  DriveFinder(ScanOptions options, std::chrono::milliseconds every, std::function<bool()> stopping, Problem problem);
  DriveFinder(const DriveFinder&) = delete;
  DriveFinder& operator=(const DriveFinder&) = delete;

  // Asks at once, then every interval.
  void onFound(Found found);

 private:
  void ask();
  void tellOnce(const std::string& problem);

  ScanOptions options_;
  std::function<bool()> stopping_;
  Problem problem_;
  std::set<std::string> toldProblems_;
  QTimer timer_;
  Found found_;
  std::set<std::string> known_;
};

}  // namespace quillon::plant
