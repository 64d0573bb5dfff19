#pragma once
// Saving one drive into its program folder, as the watch asks for it: the drive's address and
// folder in, how the save ended, where its data is, the bank time stamps it read and the fault
// names of its banks out. The save runs on the calling thread, in that thread's event loop; a
// stop reaches it through its AbortPoint, from the same thread.
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/shell/codepage.h"
#include "quillon/plant/watch_state.h"
#include "quillon/requests/exchange.h"
#include "quillon/requests/trace_back_tables.h"
#include "quillon/run/run_events.h"

namespace quillon::plant {

// The exchange a drive's thread waits in just now, so that a stop handled on that thread can
// end the wait: a poll's or a save's.
class AbortPoint {
 public:
  void waitIn(ExchangeState* exchange) {
    exchange_ = exchange;
    if (exchange_ && stopping_) exchange_->AbortFlag = true;
  }
  // The run ends at its next checkpoint as a cancelled one does, keeping what it read.
  void stop() {
    stopping_ = true;
    if (exchange_) exchange_->AbortFlag = true;
  }
  bool stopping() const { return stopping_; }

 private:
  ExchangeState* exchange_ = nullptr;
  bool stopping_ = false;
};

struct SaveReport {
  RunOutcome outcome = RunOutcome::NotRun;
  std::string message;              // why a save failed
  std::filesystem::path location;   // the archive, or the working folder with what was read; empty: nothing saved
  BankStamps stamps;                // as the save read them ("MY1"), for the state of a completed save
  std::map<int, std::vector<std::string>> faultNames;  // per bank read, the names of its faults
};

class DriveSaver {
 public:
  virtual ~DriveSaver() = default;
  virtual SaveReport save(const DriveAddress& drive, const std::filesystem::path& programFolder, AbortPoint& abort) = 0;
};

// The folders and the code page every save of a watch shares.
struct SaveSettings {
  std::filesystem::path templateFolder;
  std::filesystem::path installRoot = "/opt";
  platform::shell::CodePage codePage;
};

// The single-drive save run of the program, from its own control and socket (any free port),
// with `programFolder` as its program folder.
std::unique_ptr<DriveSaver> MakeSequenceDriveSaver(SaveSettings settings);

// "2026/12/01 00:01:00" from a "MY1" row; empty when the bank holds no fault.
std::string BankStampText(const BankTimeRow& row);

}  // namespace quillon::plant
