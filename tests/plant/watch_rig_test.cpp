// quillon watch on a plant, run from the hub: drives found by broadcast, a new fault saved and
// nothing else, a drive silent and back, a stop during a save keeping its data, and a watch
// killed outright leaving a whole state that saves nothing twice.
#include <gtest/gtest.h>
#include <signal.h>

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QThread>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>

#include "quillon/plant/watch_state.h"
#include "tests/plant/plant_test_support.h"

namespace {
namespace fs = std::filesystem;
using namespace quillon_test;
using quillon::plant::kWatchStateFileName;
using quillon::plant::ReadWatchState;

constexpr int kEventWaitMs = 60000;

QString driveAt(int drive) { return QString::fromStdString(PlantRig::DriveAddress(drive)) + ":22359"; }

// quillon watch --json --every 1 in the hub, its events read as they come.
class Watch {
 public:
  Watch(const PlantRig& rig, const QString& documents, const QStringList& drives) {
    QStringList args{"netns", "exec", QString::fromStdString(rig.hub()), QString::fromStdString(QuillonPath()),
                     "watch", "--every", "1", "--json", "--documents", documents};
    args += drives;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start("ip", args);  // ip execs the program: its process id is the watch's
    process.waitForStarted();
  }
  ~Watch() {
    if (process.state() == QProcess::NotRunning) return;
    process.kill();
    process.waitForFinished();
  }
  // Waits for the next event that `matches`; all events read go into `events`.
  std::optional<QJsonObject> waitFor(const std::function<bool(const QJsonObject&)>& matches, int timeoutMs = kEventWaitMs) {
    QElapsedTimer clock;
    clock.start();
    for (;;) {
      while (process.canReadLine()) {
        const QJsonObject e = QJsonDocument::fromJson(process.readLine()).object();
        events.push_back(e);
        if (matches(e)) return e;
      }
      const qint64 left = timeoutMs - clock.elapsed();
      if (left <= 0 || process.state() == QProcess::NotRunning) return std::nullopt;
      process.waitForReadyRead(static_cast<int>(std::min<qint64>(left, 200)));
    }
  }
  // The first event read so far that `matches`, or the next one to come.
  std::optional<QJsonObject> seen(const std::function<bool(const QJsonObject&)>& matches) {
    const auto earlier = std::find_if(events.begin(), events.end(), matches);
    return earlier != events.end() ? std::optional<QJsonObject>(*earlier) : waitFor(matches);
  }
  void readFor(int ms) {
    waitFor([](const QJsonObject&) { return false; }, ms);
  }
  int count(const QString& kind, const QString& drive) const {
    return static_cast<int>(std::count_if(events.begin(), events.end(), [&](const QJsonObject& e) {
      return e["event"].toString() == kind && e["drive"].toString() == drive;
    }));
  }
  QProcess process;
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

// Files of a save in a working folder under `folder`.
bool holdsSavedFiles(const fs::path& folder) {
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
    if (it->is_regular_file() && it.depth() > 0) return true;
  return false;
}

fs::path folderOf(const QJsonObject& found) { return found["folder"].toString().toStdString(); }

TEST(WatchOnAPlant, AllDrivesFoundANewFaultSavedAloneASilentDriveToldOnceAndWatchedOn) {
  PlantRig rig(2);
  QUILLON_REQUIRE_PLANT(rig);
  const auto faulting = rig.startDrive(0, PlantDrive("RX-Brin", "LINE/1"));
  auto quiet = rig.startDrive(1, PlantDrive("RX-Fenn", "LINE/2"));
  const ScratchFolder documents;
  Watch watch(rig, QString::fromStdString(documents.path()), {"--all"});
  const auto foundQuiet = watch.seen(is("found", driveAt(1)));
  const auto foundFaulting = watch.seen(is("found", driveAt(0)));
  ASSERT_TRUE(foundQuiet && foundFaulting);
  ASSERT_TRUE(watch.seen(is("saveEnded", driveAt(1), "completed")));
  ASSERT_TRUE(watch.seen(is("saveEnded", driveAt(0), "completed")));  // the first saves

  faulting->recordNewFault();
  const auto newFault = watch.waitFor(is("newFault", driveAt(0)));
  ASSERT_TRUE(newFault);
  QElapsedTimer sinceSeen;
  sinceSeen.start();
  const auto started = watch.waitFor(is("saveStarted", driveAt(0)));
  ASSERT_TRUE(started);
  EXPECT_LE(sinceSeen.elapsed(), 3 * 1000 + 2000);  // three intervals, and room for a busy machine
  EXPECT_FALSE((*started)["firstSave"].toBool());
  EXPECT_EQ((*started)["banks"].toArray().first().toInt(), (*newFault)["bank"].toInt());
  ASSERT_TRUE(watch.waitFor(is("saveEnded", driveAt(0), "completed")));
  const auto saved = watch.waitFor(is("faultSaved", driveAt(0)));
  ASSERT_TRUE(saved);
  EXPECT_EQ((*saved)["faultTime"], (*newFault)["faultTime"]);
  EXPECT_FALSE((*saved)["faultNames"].toArray().isEmpty());
  EXPECT_EQ(archivesIn(folderOf(*foundFaulting)), 2);
  EXPECT_NE(folderOf(*foundFaulting), folderOf(*foundQuiet));

  // The quiet drive falls silent: told once, then watched on when it answers again.
  const std::uint16_t port = quiet->port();
  quiet.reset();
  ASSERT_TRUE(watch.waitFor(is("silent", driveAt(1))));
  watch.readFor(3500);
  quiet = rig.startDrive(1, PlantDrive("RX-Fenn", "LINE/2"), {}, port);
  ASSERT_TRUE(watch.waitFor(is("back", driveAt(1))));
  watch.readFor(1500);
  EXPECT_EQ(watch.count("silent", driveAt(1)), 1);
  EXPECT_EQ(watch.count("found", driveAt(1)), 1);
  EXPECT_EQ(watch.count("saveStarted", driveAt(1)), 1) << "nothing new came from it";
  EXPECT_EQ(archivesIn(folderOf(*foundQuiet)), 1);
}

TEST(WatchOnAPlant, StopDuringASaveKeepsItsDataThenAKillLeavesAWholeStateThatSavesNothingTwice) {
  PlantRig rig(2);
  QUILLON_REQUIRE_PLANT(rig);
  drivesim::Misbehaviour slow;
  slow.delayMs = 15;
  const auto slowDrive = rig.startDrive(0, PlantDrive("RX-Brin", "LINE/1"), slow);
  const auto drive = rig.startDrive(1, PlantDrive("RX-Fenn", "LINE/2"));
  const ScratchFolder documents;
  const QString docs = QString::fromStdString(documents.path());
  {
    Watch watch(rig, docs, {"--drive", driveAt(0)});
    const auto found = watch.waitFor(is("found", driveAt(0)));
    ASSERT_TRUE(found);
    ASSERT_TRUE(watch.waitFor(is("saveStarted", driveAt(0))));
    for (int tries = 0; tries < 200 && !holdsSavedFiles(folderOf(*found)); ++tries) QThread::msleep(100);
    QElapsedTimer clock;
    clock.start();
    ::kill(static_cast<pid_t>(watch.process.processId()), SIGTERM);
    const auto ended = watch.waitFor(is("saveEnded", driveAt(0)), 10000);
    ASSERT_TRUE(watch.process.waitForFinished(10000));
    EXPECT_LE(clock.elapsed(), 5000);
    EXPECT_EQ(watch.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(watch.process.exitCode(), 0);
    ASSERT_TRUE(ended);
    EXPECT_EQ((*ended)["outcome"].toString(), "cancelled");
    const fs::path kept = (*ended)["location"].toString().toStdString();
    ASSERT_FALSE(kept.empty());
    EXPECT_FALSE(fs::is_empty(kept));
    EXPECT_FALSE(fs::exists(folderOf(*found) / kWatchStateFileName)) << "not saved: tried again next time";
  }

  fs::path folder;
  {
    Watch first(rig, docs, {"--drive", driveAt(1)});
    const auto found = first.waitFor(is("found", driveAt(1)));
    ASSERT_TRUE(found);
    folder = folderOf(*found);
    ASSERT_TRUE(first.waitFor(is("saveEnded", driveAt(1), "completed")));
    drive->recordNewFault();
    ASSERT_TRUE(first.waitFor(is("newFault", driveAt(1))));
    ASSERT_TRUE(first.waitFor(is("faultSaved", driveAt(1))));  // told once the state is written
    first.process.kill();  // SIGKILL, whatever it was doing
    first.process.waitForFinished();
  }
  std::string problem;
  const auto state = ReadWatchState(folder, problem);
  ASSERT_TRUE(state) << problem;
  Watch second(rig, docs, {"--drive", driveAt(1)});
  ASSERT_TRUE(second.waitFor(is("found", driveAt(1))));
  second.readFor(3000);
  EXPECT_EQ(second.count("saveStarted", driveAt(1)), 0) << "every stamp the drive holds was saved";
  EXPECT_EQ(archivesIn(folder), 2);
}

}  // namespace
