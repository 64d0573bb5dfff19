#pragma once
// The main window over a whole save run in the test process (see RunRig): message boxes that
// record what was shown and asked, and a file manager and program end that only record.
#include <filesystem>
#include <string>
#include <vector>

#include "platform/shell/message_box.h"
#include "quillon/window/main_window.h"
#include "tests/run/run_rig.h"

namespace quillon_test {

class RecordingMessages : public platform::shell::MessageBoxes {
 public:
  void showMessage(const std::string& text) override { shown.push_back(text); }
  void showError(const std::string& text) override { errors.push_back(text); }
  bool askYesNo(const std::string& text) override {
    asked.push_back(text);
    return answer;
  }
  std::vector<std::string> shown, errors, asked;
  bool answer = false;
};

class WindowRig : public RunRig {
 public:
  explicit WindowRig(RunSetup setup = {}) : RunRig(std::move(setup)) {}
  // Window load; the window is made on first use, after the test has set the rig up.
  quillon::MainWindow& window() {
    if (!window_) {
      window_ = std::make_unique<quillon::MainWindow>(
          run(), quillon::WindowServices{&messages,
                                         [this](const std::filesystem::path& folder) {
                                           opened.push_back(folder);
                                           return fileManager;
                                         },
                                         [this] { quit = true; },
                                         [this](const std::filesystem::path& save) {
                                           viewed.push_back(save);
                                           return true;
                                         }});
      startUpFailure = window_->startUp();
    }
    return *window_;
  }
  quillon::MainWindow& start() {
    window().clickStart();
    return *window_;
  }

  RecordingMessages messages;
  std::vector<std::filesystem::path> opened, viewed;
  bool fileManager = true;  // what opening a folder finds
  bool quit = false;
  std::string startUpFailure;

 private:
  std::unique_ptr<quillon::MainWindow> window_;
};

// A 16-bit drive whose eight banks all hold a record unless a test says otherwise.
inline drivesim::DriveOptions Ardo() {
  drivesim::DriveOptions d;
  d.driveType = "RX-Ardo ";
  d.interfaceLevel = 5;
  d.interfaceMinor = 1;
  d.panelName = "LINE1   ";
  d.groupDepth = {2, 1, 0, 0, 0};
  d.groupSignals = {3, 2, 0, 0, 0};
  d.recordedBanks = {0, 1, 2, 3, 4, 5, 6, 7};
  return d;
}

inline RunSetup WithDrive(drivesim::DriveOptions drive, std::string commandLine = "") {
  return RunSetup{std::move(drive), std::move(commandLine), {}};
}

// The banks whose CSV set is among `files`.
inline std::vector<int> SavedBanks(const std::map<std::string, std::string>& files) {
  std::vector<int> banks;
  for (int bank = 0; bank < 8; ++bank)
    if (files.count("Trb" + std::to_string(bank) + "_Data.csv")) banks.push_back(bank);
  return banks;
}

// Where the first request starting with `prefix` was sent; the count of requests when none was.
inline std::size_t IndexOf(const std::vector<std::string>& requests, const std::string& prefix) {
  for (std::size_t i = 0; i < requests.size(); ++i)
    if (requests[i].starts_with(prefix)) return i;
  return requests.size();
}

// A fault time as the drive's "MY1" reply carries it (year as an offset from 2000): hour at
// 6-7, minute 10-11, second 14-15, month 18-19, day 22-23, year 24-27.
inline ScriptedReply BankTimeReply(int year, int month, int day, int hour, int minute, int second) {
  char text[40];
  std::snprintf(text, sizeof text, "%c0000%02X00%02X00%02X00%02X00%02X%04X", 6, hour, minute, second, month, day, year);
  return ScriptedReply::Text(text);
}

}  // namespace quillon_test
