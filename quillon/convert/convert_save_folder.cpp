#include "quillon/convert/convert_save_folder.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "platform/db/db_error.h"
#include "quillon/convert/drive_configuration.h"
#include "quillon/convert/setpoint_workbook.h"
#include "quillon/output/records_file_writer.h"

namespace quillon {

namespace fs = std::filesystem;
using platform::db::DbError;

namespace {

constexpr const char* kTemplateName = "SET_TMP.mdb";

void makeWritable(const fs::path& path) {
  std::error_code ignored;
  fs::permissions(path, fs::perms::owner_write, fs::perm_options::add, ignored);
}

void makeReadOnly(const fs::path& path) {
  fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
}

// The workbook is built with commits that need not reach the disk; it does before it is published.
void flushToDisk(const fs::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw fs::filesystem_error("cannot open for flushing", path, std::error_code(errno, std::generic_category()));
  const int rc = ::fsync(fd);
  const int error = errno;
  ::close(fd);
  if (rc != 0) throw fs::filesystem_error("cannot flush", path, std::error_code(error, std::generic_category()));
}

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

void writeDriveConfiguration(const ConvertSaveFolderRun& run, const SetpointTables& tables, StepFiles& files) {
  ProductDefinition definition;
  const ProductDefinitionSearch search{run.AppFolder, run.installRoot, run.programFolder};
  if (LoadDB(search, TrimBlanks(tables.firmwareVersion), tables.driveModel, definition) == -1) return;
  const std::string text = DriveConfigurationText(tables, CompletedSignals(tables.signals, definition));
  files.configurationWritten = true;
  WriteUtf16File(files.configuration, text);
}

RecordTablesInput recordTablesInput(const ConvertSaveFolderRun& run, const fs::path& folder, int interfaceLevel) {
  RecordTablesInput input;
  input.saveFolder = folder;
  input.InterfaceLevel = interfaceLevel;
  input.programMajor = run.programMajor;
  input.programMinor = run.programMinor;
  input.CommandLine = run.CommandLine;
  input.RecordedBankCount = run.RecordedBankCount;
  input.BankCount = run.BankCount;
  input.readBankFaults = run.readBankFaults;
  return input;
}

void convert(const ConvertSaveFolderRun& run, const fs::path& setpointFile, const fs::path& workbook,
             DatabaseState& databases, std::string& labelDummy, StepFiles& files) {
  const fs::path templateFile = run.programFolder / kTemplateName;
  if (!fs::is_regular_file(templateFile))
    throw DbError("The workbook template " + templateFile.string() + " is missing.");
  fs::copy_file(templateFile, files.partialWorkbook, fs::copy_options::overwrite_existing);
  makeWritable(files.partialWorkbook);

  const std::vector<SetpointLine> lines = ParseSetpointLines(ReadCsvFields(setpointFile));
  platform::db::OpenDbConnection(databases.workDb, files.partialWorkbook);
  platform::db::Connection& work = *databases.workDb;
  work.setSyncEachCommit(false);

  const std::vector<SetpointItem> items = ReadSetpointItems(*databases.driveDb);
  const SetpointTables tables = ConvertSetpointImage(lines, items, databases.lookups, databases.results, labelDummy);
  WriteSetpointTables(work, tables);

  writeDriveConfiguration(run, tables, files);
  WriteRecordTables(work, databases, recordTablesInput(run, workbook.parent_path(), tables.InterfaceLevel));

  platform::db::CloseDbConnection(databases.workDb);
  flushToDisk(files.partialWorkbook);
  if (fs::exists(workbook)) makeWritable(workbook);
  fs::rename(files.partialWorkbook, workbook);
  files.partialWorkbook.clear();
  makeReadOnly(workbook);
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

ConvertOutcome ConvertSaveFolder(const ConvertSaveFolderRun& run, DatabaseState& databases, ExchangeState& exchange,
                                 std::string& labelDummy) {
  auto drivePath = LocateDriveDb(run.search, TrimBlanks(run.DriveType), TrimBlanks(run.DriveSoftVersion));
  if (!drivePath) return ConvertOutcome::Skipped;
  const fs::path folder = run.AppFolder / kWorkingFolderName;
  auto setpointFile = FirstCsvFile(folder, "Set_Sram_");
  if (!setpointFile) return ConvertOutcome::Skipped;

  const std::tm now = run.now ? run.now() : std::tm{};
  const fs::path workbook = folder / SetpointWorkbookName(setpointFile->filename().string(), now);
  StepFiles files{folder / ".SET.partial.mdb", DriveConfigurationPath(workbook)};
  try {
    databases.openDriveDb(*drivePath);
    convert(run, *setpointFile, workbook, databases, labelDummy, files);
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
