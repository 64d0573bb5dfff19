// The watch of quillon and drivesim programs on loopback addresses of their own: a new fault is
// saved and nothing else, a drive falls silent and comes back, a stop during a save keeps its
// data, and a watch killed outright leaves a whole state and saves nothing twice.
#include <gtest/gtest.h>
#include <signal.h>

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <filesystem>
#include <functional>

#include "quillon/plant/watch_state.h"

namespace {
namespace fs = std::filesystem;
using namespace quillon::plant;

constexpr int kEventWaitMs = 60000;

// A drivesim program on `address`; `port` 0 for any free one.
class Drive {
 public:
  Drive(const QString& address, QStringList options, std::uint16_t port = 0) {
    options << "--address" << address << "--port" << QString::number(port);
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QStringLiteral(QUILLON_BINARY_DIR "/drivesim/drivesim"), options);
    if (process_.waitForReadyRead(20000)) {
      const auto match = QRegularExpression(QStringLiteral(":(\\d+)\\s*$")).match(QString::fromUtf8(process_.readLine()));
      if (match.hasMatch()) port_ = match.captured(1).toUShort();
    }
    address_ = address;
  }
  ~Drive() { stop(); }
  void stop() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.terminate();
    if (!process_.waitForFinished(10000)) process_.kill();
  }
  QString drive() const { return address_ + ":" + QString::number(port_); }
  std::uint16_t port() const { return port_; }

 private:
  QProcess process_;
  QString address_;
  std::uint16_t port_ = 0;
};

// quillon watch --json, its events read as they come.
class Watch {
 public:
  Watch(const QStringList& drives, const QString& documents, QStringList extra = {}) {
    QStringList args{"watch", "--every", "1", "--json", "--documents", documents};
    for (const QString& d : drives) args << "--drive" << d;
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QStringLiteral(QUILLON_BINARY_DIR "/quillon/window/quillon"), args + extra);
    process_.waitForStarted();
  }
  ~Watch() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.kill();
    process_.waitForFinished();
  }
  // Waits for the next event that `matches`; all events read go into `events`.
  std::optional<QJsonObject> waitFor(const std::function<bool(const QJsonObject&)>& matches, int timeoutMs = kEventWaitMs) {
    QElapsedTimer clock;
    clock.start();
    for (;;) {
      while (process_.canReadLine()) {
        const QJsonObject e = QJsonDocument::fromJson(process_.readLine()).object();
        events.push_back(e);
        if (matches(e)) return e;
      }
      const qint64 left = timeoutMs - clock.elapsed();
      if (left <= 0 || process_.state() == QProcess::NotRunning) return std::nullopt;
      process_.waitForReadyRead(static_cast<int>(std::min<qint64>(left, 200)));
    }
  }
  int count(const QString& kind, const QString& drive) const {
    return static_cast<int>(std::count_if(events.begin(), events.end(), [&](const QJsonObject& e) {
      return e["event"].toString() == kind && e["drive"].toString() == drive;
    }));
  }
  QProcess process_;
  std::vector<QJsonObject> events;
};

std::function<bool(const QJsonObject&)> is(const QString& kind, const QString& drive, const QString& outcome = {}) {
  return [=](const QJsonObject& e) {
    return e["event"].toString() == kind && e["drive"].toString() == drive &&
           (outcome.isEmpty() || e["outcome"].toString() == outcome);
  };
}

int archivesIn(const fs::path& folder) {
  int archives = 0;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) archives += entry.path().extension() == ".lzh";
  return archives;
}

fs::path folderOf(const QJsonObject& found) { return found["folder"].toString().toStdString(); }

TEST(Watch, StateFileIsWholeOrAbsentAndTellsTheUnsavedBanks) {
  QTemporaryDir dir;
  const fs::path folder = dir.path().toStdString();
  std::string problem;
  EXPECT_FALSE(ReadWatchState(folder, problem));
  EXPECT_TRUE(problem.empty());
  WatchState state{"127.0.0.2:22359", {"2014/01/03 09:07:59", "", "2016/03/09 13:17:47"}};
  ASSERT_EQ(WriteWatchState(folder, state), "");
  const auto read = ReadWatchState(folder, problem);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->address, state.address);
  EXPECT_EQ(read->saved, state.saved);
  BankStamps now = state.saved;
  now[1] = "2026/12/01 00:01:00";  // a new fault in an empty bank
  now[2] = "";                     // a bank cleared is nothing to save
  EXPECT_EQ(UnsavedBanks(now, state.saved), (std::array<bool, 8>{false, true, false, false, false, false, false, false}));
  // A file cut short is damaged, not taken for a state.
  fs::resize_file(folder / kWatchStateFileName, 40);
  EXPECT_FALSE(ReadWatchState(folder, problem));
  EXPECT_NE(problem.find("damaged"), std::string::npos);
}

TEST(Watch, ANewFaultIsSavedWithinThreeIntervalsAndTheOtherDriveIsNotSavedAgain) {
  QTemporaryDir documents;
  Drive faulting("127.0.28.2", {"--panel-name", "Line A", "--new-fault-after", "4"});
  Drive quiet("127.0.28.3", {"--panel-name", "Line B"});
  Watch watch({faulting.drive(), quiet.drive()}, documents.path());
  const auto foundQuiet = watch.waitFor(is("found", quiet.drive()));
  ASSERT_TRUE(foundQuiet);
  ASSERT_TRUE(watch.waitFor(is("saveEnded", faulting.drive(), "completed")));
  const auto newFault = watch.waitFor(is("newFault", faulting.drive()));
  ASSERT_TRUE(newFault);
  QElapsedTimer sinceSeen;
  sinceSeen.start();
  const auto started = watch.waitFor(is("saveStarted", faulting.drive()));
  ASSERT_TRUE(started);
  EXPECT_LE(sinceSeen.elapsed(), 3 * 1000 + 2000);  // three intervals, and room for a busy machine
  EXPECT_FALSE((*started)["firstSave"].toBool());
  EXPECT_EQ((*started)["banks"].toArray().first().toInt(), (*newFault)["bank"].toInt());
  ASSERT_TRUE(watch.waitFor(is("saveEnded", faulting.drive(), "completed")));
  const auto saved = watch.waitFor(is("faultSaved", faulting.drive()));
  ASSERT_TRUE(saved);
  EXPECT_EQ((*saved)["faultTime"], (*newFault)["faultTime"]);
  EXPECT_FALSE((*saved)["faultNames"].toArray().isEmpty());
  // The quiet drive: its first save, and no other over some more polls.
  QThread::msleep(2500);
  watch.waitFor([](const QJsonObject&) { return false; }, 100);
  EXPECT_EQ(watch.count("saveStarted", quiet.drive()), 1);
  EXPECT_EQ(archivesIn(folderOf(*foundQuiet)), 1);
}

TEST(Watch, ADriveThatFallsSilentIsToldOnceAndWatchedOnWhenItAnswersAgain) {
  QTemporaryDir documents;
  auto drive = std::make_unique<Drive>("127.0.28.4", QStringList{"--panel-name", "Line C"});
  const QString address = drive->drive();
  const std::uint16_t port = drive->port();
  Watch watch({address}, documents.path());
  ASSERT_TRUE(watch.waitFor(is("saveEnded", address, "completed")));
  drive.reset();
  ASSERT_TRUE(watch.waitFor(is("silent", address)));
  QThread::msleep(3500);  // polls that go unanswered say nothing more
  drive = std::make_unique<Drive>("127.0.28.4", QStringList{"--panel-name", "Line C"}, port);
  ASSERT_TRUE(watch.waitFor(is("back", address)));
  EXPECT_EQ(watch.count("silent", address), 1);
  EXPECT_EQ(watch.count("saveStarted", address), 1);  // nothing new came meanwhile
}

TEST(Watch, StopDuringASaveKeepsItsDataAndEndsWithZeroWithinFiveSeconds) {
  QTemporaryDir documents;
  Drive slow("127.0.28.5", {"--panel-name", "Line D", "--delay", "15"});
  Watch watch({slow.drive()}, documents.path());
  const auto found = watch.waitFor(is("found", slow.drive()));
  ASSERT_TRUE(found);
  ASSERT_TRUE(watch.waitFor(is("saveStarted", slow.drive())));
  QThread::msleep(1500);
  QElapsedTimer clock;
  clock.start();
  ::kill(static_cast<pid_t>(watch.process_.processId()), SIGTERM);
  const auto ended = watch.waitFor(is("saveEnded", slow.drive()), 10000);
  ASSERT_TRUE(watch.process_.waitForFinished(10000));
  EXPECT_LE(clock.elapsed(), 5000);
  EXPECT_EQ(watch.process_.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(watch.process_.exitCode(), 0);
  ASSERT_TRUE(ended);
  EXPECT_EQ((*ended)["outcome"].toString(), "cancelled");
  const fs::path kept = (*ended)["location"].toString().toStdString();
  ASSERT_FALSE(kept.empty());
  EXPECT_FALSE(fs::is_empty(kept));
  EXPECT_FALSE(fs::exists(folderOf(*found) / kWatchStateFileName));  // not saved: tried again next time
}

TEST(Watch, AfterAKillTheStateIsWholeAndTheNextWatchSavesNothingTwice) {
  QTemporaryDir documents;
  Drive drive("127.0.28.6", {"--panel-name", "Line E", "--new-fault-after", "2"});
  fs::path folder;
  {
    Watch first({drive.drive()}, documents.path());
    const auto found = first.waitFor(is("found", drive.drive()));
    ASSERT_TRUE(found);
    folder = folderOf(*found);
    ASSERT_TRUE(first.waitFor(is("saveEnded", drive.drive(), "completed")));
    ASSERT_TRUE(first.waitFor(is("saveEnded", drive.drive(), "completed")));  // a new fault's
    first.process_.kill();  // SIGKILL, whatever it was doing
    first.process_.waitForFinished();
  }
  std::string problem;
  const auto state = ReadWatchState(folder, problem);
  ASSERT_TRUE(state) << problem;
  // Restarted: no stamp the state holds is taken for a new fault; faults recorded since are.
  Watch second({drive.drive()}, documents.path());
  ASSERT_TRUE(second.waitFor(is("found", drive.drive())));
  second.waitFor([](const QJsonObject&) { return false; }, 3000);
  for (const QJsonObject& e : second.events) {
    if (e["event"] == "saveStarted") {
      EXPECT_FALSE(e["firstSave"].toBool());
    } else if (e["event"] == "newFault") {
      EXPECT_NE(state->saved[static_cast<std::size_t>(e["bank"].toInt())], e["faultTime"].toString().toStdString());
    }
  }
}

}  // namespace
