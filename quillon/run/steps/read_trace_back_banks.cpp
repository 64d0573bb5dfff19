// The trace-back banks: the group layout, every bank's fault time, the count of recorded banks
// ("Last Fault Only": the one with the latest fault), then bank by bank its requests and its
// conversion, since the tables hold one bank at a time. A bank's files are written from a copy
// of it while the next bank is read; the step ends once the last bank's files are written.
#include <algorithm>
#include <charconv>
#include <climits>

#include "quillon/requests/trace_back_requests.h"
#include "quillon/run/bank_file_writer.h"
#include "quillon/run/sample_plan.h"
#include "quillon/run/save_sequence.h"

namespace quillon {

namespace {

long long numberOf(const std::string& text) {
  long long value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

// The sort keys of a fault time, each rounded to 32 bits as the program always kept them.
struct FaultTimeKey {
  std::int32_t date = 0;
  std::int32_t time = 0;
  bool laterThan(const FaultTimeKey& other) const {
    return date > other.date || (date == other.date && time > other.time);
  }
};

std::int32_t clampedTo32(long long value) {
  return static_cast<std::int32_t>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
}

FaultTimeKey faultTimeKey(const BankTimeRow& row) {
  const long long year = numberOf(row[kYearField]), month = numberOf(row[kMonthField]),
                  day = numberOf(row[kDayField]), hour = numberOf(row[kHourField]),
                  minute = numberOf(row[kMinuteField]), second = numberOf(row[kSecondField]);
  return {clampedTo32((year * 12 + month) * 31 + day), clampedTo32((hour * 60 + minute) * 60 + second)};
}

// "MY1" for every bank. "Last Fault Only": keeps the bank with the latest fault time (ties keep
// the lower bank); only a bank that holds a record counts, an empty bank's year is whatever the
// drive left there. Returns whether a bank was kept.
bool readBankTimes(RunContext& run) {
  TraceBackTables& t = run.traceBack;
  t.resizeBankTime();
  BankRecordRequests records(run.exchange, t);
  FaultTimeKey kept;
  bool haveKept = false;
  for (int b = 0; b < t.BankCount; ++b) {
    auto bank = static_cast<std::uint8_t>(b);
    records.ReadBankTime(bank);
    if (!run.switches.lastFaultOnly || !BankHoldsRecord(t.bankTime(b))) continue;
    const FaultTimeKey key = faultTimeKey(t.bankTime(b));
    if (key.laterThan(kept)) {
      kept = key;
      run.LatestFaultBank = static_cast<std::int16_t>(b);
      haveKept = true;
    }
  }
  return haveKept;
}

void countRecordedBanks(RunContext& run, bool haveKept) {
  if (run.switches.lastFaultOnly) {
    if (!haveKept) run.LatestFaultBank = 0;
    run.ValidBankCount = 1;
    run.RecordedBankCount = haveKept ? 1 : 0;
  } else {
    for (int bank = 0; bank < run.traceBack.BankCount; ++bank) {
      if (!BankHoldsRecord(run.traceBack.bankTime(bank))) continue;
      ++run.RecordedBankCount;
      ++run.ValidBankCount;
    }
  }
  run.events.emit(BanksCounted{run.RecordedBankCount, run.switches.lastFaultOnly});
}

void readSignals(RunContext& run, std::uint8_t bank) {
  const DriveIdentity& id = run.identity;
  SignalAddressRequests addresses(run.exchange, run.traceBack);
  SampleRequests samples(run.exchange, run.traceBack, run.progress);
  switch (ChooseSampleVariant(id.InterfaceLevel, id.InterfaceMinor, id.DriveType, run.switches.forcesWideRequests)) {
    case SampleVariant::Narrow16:
      addresses.ReadSignalAddresses16(bank);
      samples.ReadBankSamples16(bank, run.ValidBankCount);
      break;
    case SampleVariant::Wide32:
      addresses.ReadSignalAddresses32Wide(bank);
      samples.ReadBankSamples32Wide(bank, run.ValidBankCount);
      break;
    case SampleVariant::Block32:
      addresses.ReadSignalAddresses32(bank);
      samples.ReadBankSamples32(bank, run.ValidBankCount);
      break;
  }
}

// A checkpoint of the bank loop; the files of the bank before count in it once written.
bool stopsAtCheckpoint(RunContext& run, BankFileWriter& files) {
  files.takeFinishedBank();
  return run.checkpoint();
}

// One bank, recorded or not: its group values, addresses, samples, fault lists and version,
// then its files are handed to `files`. Returns false when the run ended at one of the bank's
// checkpoints; a failure in the files is met by the next bank's first checkpoint, and after
// the last bank the run goes on to the trouble records.
bool readBank(RunContext& run, BankFileWriter& files, std::uint8_t bank, int& banksRead) {
  if (stopsAtCheckpoint(run, files)) return false;
  if (!BankHoldsRecord(run.traceBack.bankTime(bank))) return true;
  const BankStarted started{bank, ++banksRead, run.RecordedBankCount};
  run.events.emit(started);
  GroupRequests groups(run.exchange, run.traceBack);
  groups.ReadGroupSampling(bank);
  groups.ReadGroupFaultIndex(bank);
  if (stopsAtCheckpoint(run, files)) return false;
  run.traceBack.resizeBankTables(run.identity.InterfaceLevel);
  readSignals(run, bank);
  BankRecordRequests records(run.exchange, run.traceBack);
  records.ReadBankFaults1(bank);
  records.ReadBankFaults2(bank);
  records.ReadBankVersion(bank);
  if (stopsAtCheckpoint(run, files)) return false;
  run.events.emit(BankRead{started.bank, started.position, started.of});
  files.start(bank);
  return true;
}

}  // namespace

StepState ReadTraceBackBanks(RunContext& run) {
  GroupRequests(run.exchange, run.traceBack).ReadGroupLayout();
  countRecordedBanks(run, readBankTimes(run));
  int banksRead = 0;
  BankFileWriter files(run);
  if (run.switches.lastFaultOnly) {
    readBank(run, files, static_cast<std::uint8_t>(run.LatestFaultBank), banksRead);
  } else {
    for (int bank = 0; bank < run.traceBack.BankCount; ++bank)
      if (!readBank(run, files, static_cast<std::uint8_t>(bank), banksRead)) break;
  }
  files.finish();
  return run.finished();
}

}  // namespace quillon
