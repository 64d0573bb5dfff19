#include "quillon/plant/drive_saver.h"

#include <exception>
#include <set>

#include "platform/db/connection.h"
#include "quillon/database/drive_db_location.h"
#include "quillon/database/trace_workbook.h"
#include "quillon/live_exchange/velkor_exchange.h"
#include "quillon/run/run_context.h"
#include "quillon/run/save_sequence.h"

namespace quillon::plant {

std::string BankStampText(const BankTimeRow& row) {
  if (!BankHoldsRecord(row)) return {};
  return row[kYearField] + "/" + row[kMonthField] + "/" + row[kDayField] + " " + row[kHourField] + ":" +
         row[kMinuteField] + ":" + row[kSecondField];
}

namespace {

constexpr int kFaultCodeField = 1;
// Codes a fault list holds where it has no fault.
constexpr std::int16_t kNoFault = 0, kNoDetect = -1;

// Takes each bank's fault codes while its tables still hold them (the next bank clears
// them), and where the run left its data.
class SaveListener : public RunListener {
 public:
  explicit SaveListener(const RunContext& run) : run_(run) {}
  void onRunEvent(const RunEvent& event) override {
    if (const auto* read = std::get_if<BankRead>(&event)) {
      std::vector<std::int16_t>& codes = codes_[read->bank];
      const BankFaultList& list = run_.traceBack.bankFaults(read->bank);
      for (std::size_t entry = 1; entry < list.size(); ++entry)
        if (const auto& code = list[entry][kFaultCodeField]; code && *code != kNoFault && *code != kNoDetect)
          codes.push_back(*code);
      versions_[read->bank] = run_.traceBack.bankSoftVersion(read->bank);
    } else if (const auto* ended = std::get_if<RunEnded>(&event)) {
      location_ = ended->location;
    }
  }
  std::map<int, std::vector<std::int16_t>> codes_;
  std::map<int, std::string> versions_;
  std::filesystem::path location_;

 private:
  const RunContext& run_;
};

// The names the drive database of the bank's firmware gives the codes; the codes themselves
// ("FI 12") where there is none or it cannot be read.
std::vector<std::string> faultNamesOf(const std::vector<std::int16_t>& codes, const RunContext& run,
                                      const std::string& softVersion) {
  std::vector<std::string> names;
  for (const std::int16_t code : codes) names.push_back("FI " + std::to_string(code));
  const auto db = LocateDriveDb(run.folders.search(), run.identity.DriveType, softVersion);
  if (!db) return names;
  try {
    DatabaseState databases;
    databases.openDriveDb(*db);
    for (std::size_t i = 0; i < codes.size(); ++i) names[i] = databases.lookups.FiCode2FiName(std::to_string(codes[i]));
    databases.closeDriveDb();
  } catch (const std::exception&) {
    // The save itself said what was wrong with the database; the codes stand.
  }
  return names;
}

class SequenceDriveSaver : public DriveSaver {
 public:
  explicit SequenceDriveSaver(SaveSettings settings) : settings_(std::move(settings)) {}

  SaveReport save(const DriveAddress& drive, const std::filesystem::path& programFolder, AbortPoint& abort) override {
    SaveReport report;
    std::string error;
    const auto exchange = OpenVelkorExchange(drive.address, drive.port, 0, settings_.codePage, error);
    if (!exchange) {
      report.outcome = RunOutcome::Failed;
      report.message = error;
      return report;
    }
    std::error_code ignored;
    std::filesystem::create_directories(programFolder, ignored);  // the check step says why when this failed
    RunContext run(*exchange, RunFolders{programFolder, settings_.templateFolder, settings_.installRoot}, RunSwitches{});
    SaveListener listener(run);
    run.events.add(listener);
    abort.waitIn(&exchange->state());
    report.outcome = RunSaveSequence(run, false);
    abort.waitIn(nullptr);
    run.events.remove(listener);
    report.message = run.x().ErrorText;
    report.location = listener.location_;
    for (int bank = 0; bank < kWatchedBanks; ++bank)
      report.stamps[static_cast<std::size_t>(bank)] = BankStampText(run.traceBack.bankTime(bank));
    for (const auto& [bank, codes] : listener.codes_)
      report.faultNames[bank] = faultNamesOf(codes, run, listener.versions_[bank]);
    return report;
  }

 private:
  SaveSettings settings_;
};

}  // namespace

std::unique_ptr<DriveSaver> MakeSequenceDriveSaver(SaveSettings settings) {
  return std::make_unique<SequenceDriveSaver>(std::move(settings));
}

}  // namespace quillon::plant
