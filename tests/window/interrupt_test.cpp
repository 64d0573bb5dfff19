#include "quillon/window/interrupt_as_cancel.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <csignal>

namespace {

TEST(InterruptAsCancel, CtrlCReachesCancelThroughTheEventLoop) {
  int argc = 1;
  char name[] = "interrupt_test";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);
  int cancels = 0;
  {
    quillon::InterruptAsCancel interrupt([&] { ++cancels; });
    std::raise(SIGINT);
    EXPECT_EQ(cancels, 0) << "the signal handler itself only wakes the event loop";
    QElapsedTimer waited;
    waited.start();
    while (cancels == 0 && waited.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    EXPECT_EQ(cancels, 1);
    // A second Ctrl-C would end the program: the default action is back.
    struct sigaction current {};
    ::sigaction(SIGINT, nullptr, &current);
    EXPECT_EQ(current.sa_handler, SIG_DFL);
  }
}

}  // namespace
