#pragma once
// What the save-run tests share: message boxes that record what was shown and answer No, and
// a file's whole text.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/shell/message_box.h"

namespace quillon_test {

class RecordingMessages : public platform_shell::MessageBoxes {
 public:
  void showMessage(const std::string& text) override { shown.push_back(text); }
  bool askYesNo(const std::string&) override { return false; }
  std::vector<std::string> shown;
};

inline std::string fileText(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace quillon_test
