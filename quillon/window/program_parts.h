#pragma once
// The parts the program puts together around the main window, each from its own layer: the
// live exchange over the Velkor control, the simulated drive for --simulate, the archiver and
// the drive steps over the request routines.
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "quillon/requests/exchange.h"
#include "quillon/requests/progress.h"
#include "quillon/window/command_line.h"
#include "quillon/window/drive_steps.h"

namespace platform_shell {
class MessageBoxes;
}

namespace quillon {

// The simulated drive, running in this process on 127.0.0.1 until destroyed.
class SimulatedDriveRun {
 public:
  virtual ~SimulatedDriveRun() = default;
  virtual std::uint16_t port() const = 0;
};

// Starts the simulated drive on 127.0.0.1 (`port` 0: any free port), of `driveType` when
// given; null with `error` set.
std::unique_ptr<SimulatedDriveRun> StartSimulatedDrive(std::uint16_t port, const std::optional<std::string>& driveType,
                                                       std::string& error);

// The control `Velkor1` configured as start-up does it (destination, ports, switches, routing
// values 0) with its port open; null with `error` set.
std::unique_ptr<Exchange> OpenLiveExchange(const std::string& destIp, std::uint16_t destPort, std::uint16_t myPort,
                                           std::string& error);

// `Unlha` with the program's pack command; 0 when the archive was written.
int RunUnlha(const std::string& command);

struct DriveStepsSettings {
  std::filesystem::path AppFolder;
  std::string CommandLine;
  std::string SafePanelName;
  std::filesystem::path installRoot;     // drive databases and product definitions
  std::filesystem::path templateFolder;  // holds "TRB_TMP.mdb"
};

// The save run's drive steps over the request routines, with `SaveTrb_mdb` and the CSV set.
std::unique_ptr<DriveSteps> MakeRequestSteps(Exchange& exchange, ProgressBar progress,
                                             std::function<DriveStepsSettings()> settings);

class MainWindow;

// "DB Load": `ReceiveDriveDatabase` ("FB"/"FR", extraction into `AppFolder` with `unlha`) on the
// save run's hook, its refusals shown through `messages`; `checked` ticks the box at once.
void BindReceiveDriveDatabase(MainWindow& window, Exchange& exchange, ProgressBar progress,
                              std::function<int(const std::string& command)> unlha,
                              platform_shell::MessageBoxes* messages, bool checked);

struct DriveIdentity;
struct TraceBackTables;
struct MemoryTables;
struct TroubleTables;
struct DriveStatusTable;
struct DatabaseState;

// What one run has read and opened, for the steps after the record steps (the conversion of
// the save folder). Everything is owned elsewhere: the identity, the trace-back tables and the
// database slots by the drive steps, the memory images by the window, the trouble records and
// the drive status by the bound record steps; all live as long as the window and its hooks.
// A pointer is null where the drive steps are not the request steps.
struct SaveRunTables {
  const DriveIdentity* identity = nullptr;         // DriveType, InterfaceLevel, InterfaceVersionText, ...
  const TraceBackTables* traceBack = nullptr;      // the last bank read
  DatabaseState* databases = nullptr;              // drive-database and workbook connections
  const MemoryTables* memory = nullptr;            // SetpointWords, EventLogWords, their ranges
  const TroubleTables* trouble = nullptr;          // TroubleTime, TroubleValues, EventCount*
  const DriveStatusTable* status = nullptr;        // DriveStatusText
};

// The identity, trace-back tables and database state of drive steps made by MakeRequestSteps.
SaveRunTables RequestStepsTables(DriveSteps& steps);

// The program's own version, written into the drive status file.
inline constexpr int kProgramMajorVersion = 2;
inline constexpr int kProgramMinorVersion = 1;

// Trouble records and event counters, setting-parameter memory, the setting-parameter and
// event-log files and the drive status on the save run's hooks, with the run's AppFolder,
// SafePanelName and the drive's InterfaceLevel, DriveType and InterfaceVersionText. Returns
// every table of the run, for the conversion step.
SaveRunTables BindRecordSteps(MainWindow& window, Exchange& exchange, DriveSteps& steps);

// `ConvertSaveFolder` on the save run's hook, over the run's tables: drive databases and
// product definitions below `installRoot`, "SET_TMP.mdb" in `templateFolder`, `now` the local
// time of the workbook's name.
void BindConvertSaveFolder(MainWindow& window, Exchange& exchange, const SaveRunTables& tables,
                           const std::filesystem::path& installRoot, const std::filesystem::path& templateFolder,
                           std::function<std::tm()> now);

}  // namespace quillon
