#pragma once
// The drives of `quillon watch --all`: "QT" sent to the broadcast address every interval,
// and every sender of an answer that was not answering before is told once. It runs on the
// thread that opens it, in that thread's event loop, through a Velkor control of its own.
#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "quillon/plant/drive_saver.h"

namespace quillon {
class VelkorExchange;
}

namespace quillon::plant {

class DriveFinder {
 public:
  using Found = std::function<void(const DriveAddress&)>;
  // Null with `error` set when the control cannot be made or its port opened.
  static std::unique_ptr<DriveFinder> Open(std::chrono::milliseconds every, std::string& error);
  ~DriveFinder();
  DriveFinder(const DriveFinder&) = delete;
  DriveFinder& operator=(const DriveFinder&) = delete;

  // Asks at once, then every interval.
  void onFound(Found found);

 private:
  class Wiring;
  DriveFinder() = default;
  void ask();
  void received();

  std::unique_ptr<VelkorExchange> broadcast_;  // only its configured control is used
  std::unique_ptr<Wiring> wiring_;
  Found found_;
  std::set<std::string> known_;
};

}  // namespace quillon::plant
