#pragma once
// The save run's steps for the memory images, trouble records, event counters and drive
// status: each reads with its requests, then writes its files from whatever was read, so an
// abort in the middle still leaves the files of what came before (the requests after an abort
// send nothing). A file that cannot be written ends the run with its message.
#include <functional>
#include <string>
#include <utility>
#include <string_view>

#include "quillon/output/drive_status_file.h"
#include "quillon/output/setpoint_files.h"
#include "quillon/output/trouble_files.h"
#include "quillon/requests/exchange.h"
#include "quillon/requests/memory_requests.h"
#include "quillon/requests/record_requests.h"
#include "quillon/requests/status_requests.h"

namespace quillon {

inline constexpr int kTroubleRecordsRead = 32;  // records 0 to 31
inline constexpr int kEventTimeGroups = 4;      // groups 0 to 3

// Trouble records 0-31, "EV1", "EV2", event times 0-3, then both trouble files.
void ReadTroubleRecordsAndWriteFiles(Exchange& exchange, TroubleTables& tables, const SaveFileNames& names);

// "LP" below interface level 6, "Lp" from 6 on, into the already sized SetpointWords.
void ReadSetpointMemoryFor(Exchange& exchange, MemoryTables& tables, int interfaceLevel);

// The setting-parameter file; then, for the drive types with an event log, the event-log read
// and its file.
void WriteSetpointAndEventLogFiles(Exchange& exchange, MemoryTables& tables, const SaveFileNames& names,
                                   int interfaceLevel, std::string_view driveType);

// "J", "ZS", "SP" and the drive status file.
void ReadDriveStatusAndWriteFile(Exchange& exchange, DriveStatusTable& table, const SaveFileNames& names,
                                 const std::string& interfaceVersionText, ProgramVersion version);

// The four steps bound to one run's state, for the save run's hook points. The getters are
// asked at each step, so they see what the identity requests of the same run have set.
class RecordSteps {
 public:
  struct RunView {
    std::function<SaveFileNames()> names;              // AppFolder, SafePanelName
    std::function<int()> interfaceLevel;               // InterfaceLevel
    std::function<std::string()> driveType;            // DriveType
    std::function<std::string()> interfaceVersionText;  // InterfaceVersionText
    ProgramVersion version;                             // of the saving program
  };

  RecordSteps(Exchange& exchange, MemoryTables& memory, RunView run)
      : exchange_(exchange), memory_(memory), run_(std::move(run)) {}

  void readTroubleRecordsAndEventCounts() { ReadTroubleRecordsAndWriteFiles(exchange_, trouble, run_.names()); }
  void readSetpointMemory() { ReadSetpointMemoryFor(exchange_, memory_, run_.interfaceLevel()); }
  void writeSetpointAndEventLogFiles() {
    WriteSetpointAndEventLogFiles(exchange_, memory_, run_.names(), run_.interfaceLevel(), run_.driveType());
  }
  void readDriveStatus() {
    ReadDriveStatusAndWriteFile(exchange_, status, run_.names(), run_.interfaceVersionText(), run_.version);
  }

  TroubleTables trouble;   // TroubleTime, TroubleValues, EventCountValue, EventCountTime
  DriveStatusTable status;  // DriveStatusText

 private:
  Exchange& exchange_;
  MemoryTables& memory_;
  RunView run_;
};

}  // namespace quillon
