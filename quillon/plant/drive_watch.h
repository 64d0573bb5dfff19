#pragma once
// The watch of one drive, on a thread of its own with its own event loop: every interval it
// reads the drive's eight bank time stamps ("MY1", nothing else) and compares them with what
// its state file says was saved; a stamp not saved yet starts a whole save of the drive into its
// program folder. Poll and save run one after the other on this one thread, so a drive is never
// saved twice at once nor polled while it is being saved. The state is written only after a
// save completed, so a failed save is tried again at the next interval.
#include <QThread>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "quillon/plant/drive_saver.h"
#include "quillon/plant/watch_events.h"
#include "quillon/plant/watch_state.h"
#include "quillon/requests/drive_identity.h"

class QEventLoop;
class QObject;

namespace quillon {
class VelkorExchange;
}

namespace quillon::plant {

struct WatchSettings {
  std::filesystem::path documents;  // program folders are made under documents/Quillon/
  std::chrono::milliseconds every{60000};
  bool firstSave = true;            // a drive never saved before is saved at its first poll
  platform::shell::CodePage codePage;
};

// A poll waits for each "MY1" at most this long in all (its re-sends included): a fraction of
// the interval, so that a silent drive costs one interval, not a save run's timeout.
std::chrono::milliseconds PollTickInterval(std::chrono::milliseconds every);

class DriveWatch {
 public:
  using Tell = std::function<void(const WatchEvent&)>;
  DriveWatch(DriveAddress drive, WatchSettings settings, std::shared_ptr<DriveSaver> saver, Tell tell);
  ~DriveWatch();
  DriveWatch(const DriveWatch&) = delete;
  DriveWatch& operator=(const DriveWatch&) = delete;

  void start();
  // From any thread: no new poll or save; a save going on is cancelled and keeps its data.
  void stop();
  // After stop(): true when the thread has ended within `timeout`.
  bool waitUntilEnded(std::chrono::milliseconds timeout);

 private:
  void run();  // on the drive's thread
  bool identify();
  void pollOnce();
  void saveDrive(const std::vector<int>& unsavedBanks);
  void markSilent(const std::string& why);
  void markAnswering();
  void onStop();
  void waitForNextPoll(std::chrono::steady_clock::time_point due);
  WatchEvent event(WatchEventKind kind) const;

  DriveAddress drive_;
  WatchSettings settings_;
  std::shared_ptr<DriveSaver> saver_;
  Tell tell_;
  std::unique_ptr<QThread> thread_;
  std::mutex contextMutex_;
  QObject* context_ = nullptr;  // lives on the drive's thread while it runs; stop() posts to it
  std::atomic<bool> stopRequested_{false};

  // The drive's thread only.
  std::unique_ptr<VelkorExchange> poll_;
  AbortPoint abort_;
  QEventLoop* waiting_ = nullptr;
  std::optional<DriveIdentity> identity_;
  std::filesystem::path folder_;
  bool silent_ = false;
  BankStamps announced_;  // the new faults told of already, so that a retried save tells them once
};

}  // namespace quillon::plant
