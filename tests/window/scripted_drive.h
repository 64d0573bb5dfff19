#pragma once
// A drive in the test process for the save run's own logic: an Exchange that logs every
// request and can refuse it, fall silent or let the test act during the wait, and drive steps
// that send the requests a bank needs and take their results from a small drive model.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "quillon/requests/exchange.h"
#include "quillon/requests/progress.h"
#include "quillon/window/drive_steps.h"

namespace quillon_test {

struct BankRecord {
  int year = 14, month = 3, day = 12, hour = 8, minute = 15, second = 2;  // year: offset from 2000
};

struct DriveModel {
  int level = 5, minor = 1;
  std::string driveType = "RX-Ardo ";
  std::string panelName = "LINE1   ";
  std::array<int, 5> depth{2, 1, 0, 0, 0};        // units of 64 samples
  std::array<int, 6> signalCounts{0, 3, 2, 0, 0, 0};   // groups 1-5 at 1-5
  BankRecord banks[8] = {};

  void setLevel(int newLevel, int newMinor) { level = newLevel; minor = newMinor; }
  void setAllBanksEmpty() {
    for (BankRecord& bank : banks) bank = BankRecord{31, 0, 0, 0, 0, 0};
  }
};

enum class Misbehave { None, Nak, Silent };

class ScriptedDrive : public quillon::Exchange {
 public:
  bool transact(std::string_view request, quillon::ReplyForm form) override;

  const std::vector<std::string>& requests() const { return requests_; }
  std::size_t countOf(std::string_view prefix) const;

  // Called with each request before it is answered; may change the state (press Cancel) or
  // say how to misbehave.
  std::function<Misbehave(const std::string& request)> beforeReply;
  std::uint8_t nakCode = 0x1F;

 private:
  std::vector<std::string> requests_;
};

class ScriptedSteps : public quillon::DriveSteps {
 public:
  ScriptedSteps(ScriptedDrive& drive, quillon::ProgressBar progress) : drive_(drive), progress_(std::move(progress)) {}

  DriveModel& model() { return model_; }
  std::vector<int> savedBanks;
  std::function<void(std::uint8_t)> onSave;

  void startUp() override {}
  void beginRun() override { depth_ = {}; signals_ = {}; }
  void connect() override;
  void readDriveInformation() override;
  void readGroupLayout() override;
  void resizeBankTime() override { bankTime_.assign(9, std::vector<std::string>(7)); }
  void readBankTime(std::uint8_t bank) override;
  void readBankHeader(std::uint8_t bank) override;
  void resizeBankTables() override {}
  void readBankSignals(std::uint8_t bank, quillon::SampleVariant variant, int validBankCount) override;
  void readBankFaultsAndVersion(std::uint8_t bank) override;
  void saveBank(std::uint8_t bank) override;

  int bankCount() const override { return 8; }
  int interfaceLevel() const override { return level_; }
  int interfaceMinor() const override { return minor_; }
  std::string driveType() const override { return type_; }
  std::string panelName() const override { return panel_; }
  std::vector<std::string> bankTimeRow(int bank) const override { return bankTime_.at(bank); }

 private:
  bool send(const std::string& request, quillon::ReplyForm form = quillon::ReplyForm::Text) {
    return drive_.transact(request, form);
  }

  ScriptedDrive& drive_;
  quillon::ProgressBar progress_;
  DriveModel model_;
  int level_ = 0, minor_ = 0;
  std::string type_, panel_;
  std::array<int, 5> depth_{};
  std::array<int, 6> signals_{};
  std::vector<std::vector<std::string>> bankTime_;
};

}  // namespace quillon_test
