// `ConvertSaveFolder`: the setting-parameter workbook, the drive configuration file and the
// record tables from the working folder's CSV files. With "/l" the workbook also gets every
// bank's first faults, read again from the drive ("MY51") as the table is written.
#include <algorithm>

#include "quillon/convert/convert_save_folder.h"
#include "quillon/requests/trace_back_requests.h"
#include "quillon/run/program_version.h"
#include "quillon/run/save_sequence.h"

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
    const BankFaultList& faults = faults_.bankFaults(bank);
    result.code1 = codeText(faults[1][1]);
    result.code2 = codeText(faults[2][1]);
    return result;
  }

 private:
  TraceBackTables faults_;
  BankRecordRequests requests_;
};

StepState stateOf(ConvertOutcome outcome) {
  switch (outcome) {
    case ConvertOutcome::Converted: return StepState::Done;
    case ConvertOutcome::Skipped: return StepState::Skipped;
    case ConvertOutcome::Failed: return StepState::Failed;
  }
  return StepState::Failed;
}

}  // namespace

StepState ConvertTheSaveFolder(RunContext& run) {
  BankFaultReader faults(run.exchange, run.traceBack);
  SaveFolderConversion job{run.folders.workingFolder(), run.folders.search(), run.clock, kProgramVersion, {},
                           run.codePage()};
  if (run.switches.lastFaultOnly && run.RecordedBankCount != 0)
    job.otherBanks = OtherBanks{run.traceBack.BankCount, [&faults](int bank) { return faults.read(bank); }};
  return stateOf(ConvertSaveFolder(run.identity, job, run.databases, run.x(), run.LabelDummy));
}

}  // namespace quillon
