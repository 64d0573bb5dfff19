// A save to the broadcast address on a plant: it goes on only with the one drive that answered,
// takes nothing from any other sender, and with several drives names them and reads nothing.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tests/plant/plant_test_support.h"
#include "velkor/framing/framing.h"

namespace {
using namespace quillon_test;

const std::set<std::string> kIdentityCommands{"QT", "Q1", "Q2", "Q3", "Q4", "QA1", "QA2"};

CommandResult broadcastSave(PlantRig& rig, const ScratchFolder& documents) {
  return rig.runInHub({QuillonPath(), "--headless", "--documents", documents.path()});
}

TEST(BroadcastSave, TwoDrivesAnsweringAreNamedAndNothingBeyondTheirIdentityIsRead) {
  PlantRig rig(2);
  QUILLON_REQUIRE_PLANT(rig);
  const auto brin = rig.startDrive(0, PlantDrive("RX-Brin", "LINE/1"));
  const auto fenn = rig.startDrive(1, PlantDrive("RX-Fenn", "LINE/2"));
  const ScratchFolder documents;
  const CommandResult save = broadcastSave(rig, documents);
  EXPECT_EQ(save.status, 1) << save.output;
  for (const char* told : {"2 drives answered the broadcast", "192.0.2.11  RX-Brin  panel name \"LINE/1\"",
                           "192.0.2.12  RX-Fenn  panel name \"LINE/2\"", "--drive ADDRESS", "--all", "Nothing was saved."})
    EXPECT_NE(save.output.find(told), std::string::npos) << told << "\n" << save.output;
  EXPECT_TRUE(SavesIn(documents.path()).empty());
  for (const auto* drive : {brin.get(), fenn.get()})
    for (const std::string& command : CommandsSentTo(*drive)) EXPECT_TRUE(kIdentityCommands.count(command)) << command;
}

// Forged replies of the drive's first requests, sent to the tool's port from another address
// for as long as the save runs, from the moment the drive was asked "Q1" (its second request
// from now on): by then the save has locked onto the drive.
class StraySender {
 public:
  StraySender(const std::string& ns, const drivesim::SimulatedDrive& watched) {
    PlantRig::InNamespace(ns, [&] { socket_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0); });
    const std::size_t before = watched.requestCount();
    thread_ = std::thread([this, &watched, before] {
      while (!stop_ && watched.requestCount() < before + 2) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      sockaddr_in tool{};
      tool.sin_family = AF_INET;
      tool.sin_port = htons(drivesim::kDefaultPort);
      ::inet_pton(AF_INET, kPlantToolAddress, &tool.sin_addr);
      velkor::framing::HeaderFields fields;
      fields.marker = velkor::framing::kMarkerReply;
      const std::string forged[] = {"\x06" "0V05.001", "\x06" "0RX-Stray", "\x06" "0FORGED"};
      for (int i = 0; !stop_; ++i) {
        const std::string& payload = forged[i % 3];
        const auto datagram = velkor::framing::buildDatagram(
            fields, std::span(reinterpret_cast<const std::uint8_t*>(payload.data()), payload.size()), {});
        ::sendto(socket_, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&tool), sizeof tool);
        ++sent_;
        std::this_thread::sleep_for(std::chrono::microseconds(500));
      }
    });
  }
  ~StraySender() {
    stop_ = true;
    thread_.join();
    if (socket_ >= 0) ::close(socket_);
  }
  int sent() const { return sent_; }

 private:
  int socket_ = -1;
  std::atomic<bool> stop_{false};
  std::atomic<int> sent_{0};
  std::thread thread_;
};

TEST(BroadcastSave, OneDriveAmongStrayRepliesIsSavedAsItsDirectedSave) {
  PlantRig rig(2);
  QUILLON_REQUIRE_PLANT(rig);
  const auto drive = rig.startDrive(0, PlantDrive("RX-Brin", "LINE/1"));
  const ScratchFolder directed, broadcast;
  const CommandResult single =
      rig.runInHub({QuillonPath(), "--headless", "--drive", PlantRig::DriveAddress(0), "--documents", directed.path()});
  ASSERT_EQ(single.status, 0) << single.output;
  CommandResult save;
  int strays = 0;
  {
    const StraySender stray(rig.driveNamespace(1), *drive);
    save = broadcastSave(rig, broadcast);
    strays = stray.sent();
  }
  ASSERT_EQ(save.status, 0) << save.output;
  EXPECT_GT(strays, 100);
  const auto directedSaves = SavesIn(directed.path()), broadcastSaves = SavesIn(broadcast.path());
  ASSERT_EQ(directedSaves.size(), 1u);
  ASSERT_EQ(broadcastSaves.size(), 1u);
  const auto saved = ArchivedFiles(broadcastSaves[0]), alone = ArchivedFiles(directedSaves[0]);
  EXPECT_GT(alone.size(), 3u);
  EXPECT_EQ(DifferingFiles(saved, alone), std::vector<std::string>{});
}

}  // namespace
