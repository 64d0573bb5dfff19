#include "quillon/convert/convert_save_folder.h"

#include <cstdio>

#include "quillon/convert/drive_configuration.h"
#include "quillon/convert/setpoint_workbook.h"
#include "quillon/database/workbook_file.h"

namespace quillon {

namespace fs = std::filesystem;

namespace {

// Everything the step made so far; removed again when it fails.
struct StepFiles {
  fs::path partialWorkbook;
  fs::path configuration;
  bool configurationWritten = false;

  void removeAll() {
    std::error_code ignored;
    if (!partialWorkbook.empty()) fs::remove(partialWorkbook, ignored);
    if (configurationWritten) fs::remove(configuration, ignored);
  }
};

void writeDriveConfiguration(const SaveFolderConversion& job, const SetpointTables& tables, StepFiles& files) {
  ProductDefinition definition;
  if (LoadDB(job.folders, TrimBlanks(tables.firmwareVersion), tables.driveModel, definition) == -1) return;
  const std::string text = DriveConfigurationText(tables, CompletedSignals(tables.signals, definition));
  files.configurationWritten = true;
  WriteUtf16File(files.configuration, text);
}

void convert(const SaveFolderConversion& job, const fs::path& setpointFile, const fs::path& workbook,
             DatabaseState& databases, std::string& labelDummy, StepFiles& files) {
  StartWorkbookFromTemplate(job.folders.programFolder / kSetpointTemplateName, files.partialWorkbook);

  const std::vector<SetpointLine> lines = ParseSetpointLines(ReadCsvFields(setpointFile, job.codePage));
  platform::db::OpenDbConnection(databases.workDb, files.partialWorkbook);
  platform::db::Connection& work = *databases.workDb;
  work.setSyncEachCommit(false);

  const std::vector<SetpointItem> items = ReadSetpointItems(*databases.driveDb);
  const SetpointTables tables =
      ConvertSetpointImage(lines, items, databases.lookups, databases.results, labelDummy, job.codePage);
  WriteSetpointTables(work, tables);

  writeDriveConfiguration(job, tables, files);
  WriteRecordTables(work, databases, workbook.parent_path(), tables.InterfaceLevel, job.version, job.otherBanks,
                    job.codePage);

  platform::db::CloseDbConnection(databases.workDb);
  PublishWorkbook(files.partialWorkbook, workbook);
  files.partialWorkbook.clear();
}

}  // namespace

std::string SetpointWorkbookName(const std::string& csvName, const std::tm& now) {
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "_%04d%02d%02d_%02d%02d%02d.mdb", now.tm_year + 1900, now.tm_mon + 1,
                now.tm_mday, now.tm_hour, now.tm_min, now.tm_sec);
  std::string base = csvName;
  if (base.size() >= 4) base.erase(base.size() - 4);
  return base + stamp;
}

ConvertOutcome ConvertSaveFolder(const DriveIdentity& drive, const SaveFolderConversion& job, DatabaseState& databases,
                                 ExchangeState& exchange, std::string& labelDummy) {
  auto drivePath = LocateDriveDb(job.folders, TrimBlanks(drive.DriveType), TrimBlanks(drive.DriveSoftVersion));
  if (!drivePath) return ConvertOutcome::Skipped;
  const fs::path& folder = job.workingFolder;
  auto setpointFile = FirstCsvFile(folder, "Set_Sram_");
  if (!setpointFile) return ConvertOutcome::Skipped;

  const std::tm now = job.now ? job.now() : std::tm{};
  const fs::path workbook = folder / SetpointWorkbookName(setpointFile->filename().string(), now);
  StepFiles files{folder / ".SET.partial.mdb", DriveConfigurationPath(workbook)};
  try {
    databases.openDriveDb(*drivePath);
    convert(job, *setpointFile, workbook, databases, labelDummy, files);
    databases.closeDriveDb();
  } catch (const std::exception& error) {
    platform::db::CloseDbConnection(databases.workDb);
    databases.closeDriveDb();
    files.removeAll();
    exchange.abortWith(std::string("Setting-parameter workbook not written; the CSV files are kept: ") + error.what());
    return ConvertOutcome::Failed;
  }
  // Only now is everything the CSV files held saved elsewhere.
  if (std::string failure = DeleteCsvFiles(folder); !failure.empty()) {
    exchange.abortWith(failure);
    return ConvertOutcome::Failed;
  }
  return ConvertOutcome::Converted;
}

}  // namespace quillon
