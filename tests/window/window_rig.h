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
                                           return true;
                                         },
                                         [this] { quit = true; }});
      startUpFailure = window_->startUp();
    }
    return *window_;
  }
  quillon::MainWindow& start() {
    window().clickStart();
    return *window_;
  }

  RecordingMessages messages;
  std::vector<std::filesystem::path> opened;
  bool quit = false;
  std::string startUpFailure;

 private:
  std::unique_ptr<quillon::MainWindow> window_;
};

// A fault time as the drive's "MY1" reply carries it (year as an offset from 2000): hour at
// 6-7, minute 10-11, second 14-15, month 18-19, day 22-23, year 24-27.
inline ScriptedReply BankTimeReply(int year, int month, int day, int hour, int minute, int second) {
  char text[40];
  std::snprintf(text, sizeof text, "%c0000%02X00%02X00%02X00%02X00%02X%04X", 6, hour, minute, second, month, day, year);
  return ScriptedReply::Text(text);
}

}  // namespace quillon_test
