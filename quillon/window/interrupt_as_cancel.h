#pragma once
// Ctrl-C in a headless run acts as the Cancel button: the signal only writes a byte into a
// pipe, and the event loop (which runs inside every request's wait) calls the action. A second
// Ctrl-C ends the program at once, for a run that cannot get to its next checkpoint.
#include <QObject>
#include <functional>

class QSocketNotifier;

namespace quillon {

class InterruptAsCancel : public QObject {
  Q_OBJECT
 public:
  explicit InterruptAsCancel(std::function<void()> cancel, QObject* parent = nullptr);
  ~InterruptAsCancel() override;

 private:
  void onSignalByte();
  std::function<void()> cancel_;
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace quillon
