#pragma once
// A drive in the test process that answers with the real reply layouts, so that the save run
// goes through the real request routines without a socket.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "quillon/requests/exchange.h"

namespace quillon_test {

struct ReplyModel {
  std::string interfaceVersion = "015.001";  // characters 3-9 of "QT": level at 5, minor at 7-9
  std::string driveType = "RX-Ardo";
  std::string panelName1 = "LINE/1", panelName2 = "  ";
  std::array<int, 5> depth{2, 1, 0, 0, 0};
  std::array<int, 5> signalCounts{3, 2, 0, 0, 0};
  std::array<bool, 8> recorded{true, false, true, false, false, false, false, false};

  void setLevel(int level, int minor);
  static std::int32_t sample(int bank, int signal, int index) { return bank * 10000 + signal * 100 - index; }
};

class ReplyingDrive : public quillon::Exchange {
 public:
  bool transact(std::string_view request, quillon::ReplyForm form) override;
  ReplyModel& model() { return model_; }
  const std::vector<std::string>& requests() const { return requests_; }
  std::size_t countOf(std::string_view prefix) const;

 private:
  std::string textReply(const std::string& request) const;
  std::vector<std::uint8_t> binaryReply(const std::string& request) const;
  ReplyModel model_;
  std::vector<std::string> requests_;
};

}  // namespace quillon_test
