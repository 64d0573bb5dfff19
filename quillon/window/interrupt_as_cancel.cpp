#include "quillon/window/interrupt_as_cancel.h"

#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace quillon {
namespace {

int signalPipe[2] = {-1, -1};

extern "C" void onInterrupt(int) {
  std::signal(SIGINT, SIG_DFL);  // the next Ctrl-C ends the program
  const char byte = 1;
  [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

}  // namespace

InterruptAsCancel::InterruptAsCancel(std::function<void()> cancel, QObject* parent)
    : QObject(parent), cancel_(std::move(cancel)) {
  if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  notifier_ = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] { onSignalByte(); });
  struct sigaction action {};
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &action, nullptr);
}

InterruptAsCancel::~InterruptAsCancel() {
  std::signal(SIGINT, SIG_DFL);
  delete notifier_;
  for (int& fd : signalPipe) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
}

void InterruptAsCancel::onSignalByte() {
  char bytes[16];
  while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
  }
  if (cancel_) cancel_();
}

}  // namespace quillon
