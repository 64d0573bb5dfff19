#pragma once
// The save sequence: the steps of one save run in run order. Each step is a function of its
// own file in steps/ that sends its requests and writes its files through the run context. At
// a checkpoint the run ends when it was aborted (a refusal, a timeout, Cancel, an error);
// requests sent after an abort send nothing, so a step between two checkpoints runs on with
// what it already has. The checkpoints: after the connect, after the drive information, in the
// bank loop (before each bank, after its group values, after its fault lists) and after the
// setting parameters. After that last one the run always writes what it has, converts and
// packs, so that an abort in the event-log or status requests still leaves a whole archive.
// Before any of them the program folder and the templates are checked, so that a run that
// could not keep what it reads asks the drive nothing.
#include "quillon/run/run_context.h"
#include "quillon/run/run_events.h"

namespace quillon {

// The steps, in run order.
enum class StepId : int {
  CheckProgramFolder,
  ClearWorkingFolder,
  Connect,
  DriveInformation,
  DriveDatabase,
  TraceBack,
  TroubleRecords,
  SettingParameters,
  SettingFiles,
  DriveStatus,
  Conversion,
  PackOrMove,
};

StepState CheckProgramFolder(RunContext& run);       // the program folder written, the templates there; nothing sent
StepState ClearWorkingFolder(RunContext& run);       // an earlier run's "TRBSAVE" kept aside, or an empty one removed
StepState ConnectToDrive(RunContext& run);           // "QT", "Q1"; memory ranges by drive type
StepState ReadDriveInformation(RunContext& run);     // "Q2", "Q3", "Q4", "QA1"/"QA2", "QU2"; SafePanelName
StepState ReceiveDriveDatabase(RunContext& run);     // "FB"/"FR", extracted into the program folder
StepState ReadTraceBackBanks(RunContext& run);       // "MX1", "MY1"; per bank its requests and SaveTrb_mdb; checkpoints of its own
StepState ReadTroubleRecords(RunContext& run);       // "MY300", "EV1", "EV2", "EVT"; their two files
StepState ReadSettingParameters(RunContext& run);    // "LP" / "Lp" into SetpointWords
StepState WriteSettingFiles(RunContext& run);        // "Set_Sram_" file; event log read and its file
StepState ReadDriveStatus(RunContext& run);          // "J", "ZS", "SP"; the "DriveSts_" file
StepState ConvertTheSaveFolder(RunContext& run);     // setting-parameter workbook, .drc, record tables
StepState PackOrMoveWorkingFolder(RunContext& run);  // the dated archive, or the folder moved ("/l")

// Conditions of a step; a step whose condition does not hold is skipped and the run goes on.
inline bool DbLoadTicked(const RunContext& run) { return run.dbLoad; }

struct SaveStep {
  bool checkpoint = false;
  StepId id{};
  const char* caption = "";  // as the terminal shows the step; the window's four rows among them
  StepState (*run)(RunContext&) = nullptr;
  bool (*when)(const RunContext&) = nullptr;  // none: always
};

inline constexpr SaveStep Step(StepId id, const char* caption, StepState (*run)(RunContext&),
                               bool (*when)(const RunContext&) = nullptr) {
  return {false, id, caption, run, when};
}
inline constexpr SaveStep kCheckpoint{true};

inline constexpr SaveStep kSaveSequence[] = {
    Step(StepId::CheckProgramFolder, "Checking the program folder", CheckProgramFolder),
    kCheckpoint,
    Step(StepId::ClearWorkingFolder, "Clearing the working folder", ClearWorkingFolder),
    kCheckpoint,
    Step(StepId::Connect, "Connecting to Drive", ConnectToDrive),
    kCheckpoint,
    Step(StepId::DriveInformation, "Reading the drive information", ReadDriveInformation),
    kCheckpoint,
    Step(StepId::DriveDatabase, "Receiving Drive Database", ReceiveDriveDatabase, DbLoadTicked),
    Step(StepId::TraceBack, "Receiving Trace Back Data", ReadTraceBackBanks),
    Step(StepId::TroubleRecords, "Receiving trouble records and event counters", ReadTroubleRecords),
    Step(StepId::SettingParameters, "Receiving Setting Parameter", ReadSettingParameters),
    kCheckpoint,
    Step(StepId::SettingFiles, "Writing the setting parameters and event log", WriteSettingFiles),
    Step(StepId::DriveStatus, "Receiving the drive status", ReadDriveStatus),
    Step(StepId::Conversion, "Converting the save folder", ConvertTheSaveFolder),
    Step(StepId::PackOrMove, "Compress the files", PackOrMoveWorkingFolder),
};

// A step's caption from the list.
const char* StepCaption(StepId step);

// One whole save run, from the cleared flags to the told outcome.
RunOutcome RunSaveSequence(RunContext& run, bool dbLoadTicked);

}  // namespace quillon
