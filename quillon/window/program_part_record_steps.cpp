// The record, memory and status steps on the save run's hooks. The run's names and the drive's
// identity are asked at each step, so a second run on another drive type writes its own files.
#include <memory>

#include "quillon/output/record_steps.h"
#include "quillon/requests/drive_identity.h"
#include "quillon/window/main_window.h"
#include "quillon/window/program_parts.h"

namespace quillon {

SaveRunTables BindRecordSteps(MainWindow& window, Exchange& exchange, DriveSteps& steps) {
  SaveRunTables tables = RequestStepsTables(steps);
  const DriveIdentity* identity = tables.identity;
  RecordSteps::RunView view;
  view.names = [&window] { return SaveFileNames{window.run.AppFolder, window.run.SafePanelName}; };
  view.interfaceLevel = [&steps] { return steps.interfaceLevel(); };
  view.driveType = [&steps] { return steps.driveType(); };
  view.interfaceVersionText = [identity] { return identity ? identity->InterfaceVersionText : std::string(); };
  view.version = ProgramVersion{kProgramMajorVersion, kProgramMinorVersion};
  auto bound = std::make_shared<RecordSteps>(exchange, window.memory, std::move(view));

  LaterSteps& hooks = window.laterSteps;
  hooks.readTroubleRecordsAndEventCounts = [bound] { bound->readTroubleRecordsAndEventCounts(); };
  hooks.readSetpointMemory = [bound] { bound->readSetpointMemory(); };
  hooks.writeSetpointAndEventLogFiles = [bound] { bound->writeSetpointAndEventLogFiles(); };
  hooks.readDriveStatus = [bound] { bound->readDriveStatus(); };

  tables.memory = &window.memory;
  tables.trouble = &bound->trouble;
  tables.status = &bound->status;
  return tables;
}

}  // namespace quillon
