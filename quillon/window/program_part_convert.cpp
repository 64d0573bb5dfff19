// The conversion of the save folder on the save run's hook: the setting-parameter workbook,
// the drive configuration file and the record tables, from what the run has read.
#include <memory>

#include "quillon/convert/convert_save_folder.h"
#include "quillon/requests/drive_identity.h"
#include "quillon/requests/trace_back_requests.h"
#include "quillon/requests/trace_back_tables.h"
#include "quillon/window/main_window.h"
#include "quillon/window/program_parts.h"

namespace quillon {
namespace {

std::string codeText(const std::optional<std::int16_t>& code) { return code ? std::to_string(*code) : std::string(); }

// "MY51" for each bank again, into tables of its own: the run's tables stay as they were read.
class BankFaultReader {
 public:
  BankFaultReader(Exchange& exchange, const TraceBackTables& read) : requests_(exchange, faults_) {
    const std::size_t banks = read.BankCount + 1u;
    faults_.BankCount = read.BankCount;
    faults_.BankTime = read.BankTime;
    faults_.BankFaults = read.BankFaults;
    faults_.BankTime.resize(std::max(banks, faults_.BankTime.size()));
    faults_.BankFaults.resize(std::max(banks, faults_.BankFaults.size()));
  }

  OtherBankFaults read(int bank) {
    auto number = static_cast<std::uint8_t>(bank);
    requests_.ReadBankFaults1(number);
    OtherBankFaults result;
    const BankTimeRow& time = faults_.bankTime(bank);
    std::copy(time.begin(), time.end(), result.time.begin());
    const BankFaultList& faults = faults_.BankFaults[static_cast<std::size_t>(bank)];
    result.code1 = codeText(faults[1][1]);
    result.code2 = codeText(faults[2][1]);
    return result;
  }

 private:
  TraceBackTables faults_;
  BankRecordRequests requests_;
};

ConvertSaveFolderRun conversionRun(const MainWindow& window, const SaveRunTables& tables,
                                   const std::filesystem::path& installRoot, const std::filesystem::path& templateFolder,
                                   std::function<std::tm()> now) {
  ConvertSaveFolderRun run;
  run.AppFolder = window.run.AppFolder;
  run.programFolder = templateFolder;
  run.search = {window.run.AppFolder, installRoot, templateFolder};
  run.installRoot = installRoot;
  run.SafePanelName = window.run.SafePanelName;
  run.CommandLine = window.run.CommandLine;
  if (const DriveIdentity* identity = tables.identity) {
    run.DriveType = identity->DriveType;
    run.DriveSoftVersion = identity->DriveSoftVersion;
    run.InterfaceLevel = identity->InterfaceLevel;
  }
  run.programMajor = kProgramMajorVersion;
  run.programMinor = kProgramMinorVersion;
  run.RecordedBankCount = window.run.RecordedBankCount;
  run.BankCount = tables.traceBack ? tables.traceBack->BankCount : 0;
  run.now = std::move(now);
  return run;
}

}  // namespace

void BindConvertSaveFolder(MainWindow& window, Exchange& exchange, const SaveRunTables& tables,
                           const std::filesystem::path& installRoot, const std::filesystem::path& templateFolder,
                           std::function<std::tm()> now) {
  if (!tables.databases) return;  // drive steps of another kind keep no database slots
  window.laterSteps.convertSaveFolder = [&window, &exchange, tables, installRoot, templateFolder, now] {
    ConvertSaveFolderRun run = conversionRun(window, tables, installRoot, templateFolder, now);
    std::unique_ptr<BankFaultReader> faults;
    if (tables.traceBack) {
      faults = std::make_unique<BankFaultReader>(exchange, *tables.traceBack);
      run.readBankFaults = [&faults](int bank) { return faults->read(bank); };
    }
    std::string scratch = window.controls.LabelDummy.caption();
    ConvertSaveFolder(run, *tables.databases, exchange.state(), scratch);
    window.controls.LabelDummy.setCaption(scratch);
  };
}

}  // namespace quillon
