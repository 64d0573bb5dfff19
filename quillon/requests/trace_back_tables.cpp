#include "quillon/requests/trace_back_tables.h"

#include "quillon/requests/drive_identity.h"

namespace quillon {

void TraceBackTables::clearGroups() {
  GroupDepth.fill(0);
  GroupSignals.fill(0);
  GroupSampling.fill(0);
  MaxGroupDepth = 0;
  SignalsPerBank = 0;
}

void TraceBackTables::resizeBankTime() { BankTime.assign(BankCount + 1u, BankTimeRow{}); }

void TraceBackTables::resizeBankTables(int interfaceLevel) {
  const std::size_t banks = BankCount + 1u;
  SignalAddress.assign(banks, std::vector<std::string>(SignalsPerBank + 1u));
  if (interfaceLevel < kWideRequestSetLevel) {
    SampleData32.release();
    SampleData16.reset(SignalsPerBank, sampleDepth());
  } else {
    SampleData16.release();
    SampleData32.reset(SignalsPerBank, sampleDepth());
  }
  BankFaults.assign(banks, BankFaultList{});
  BankSoftVersion.assign(banks, std::string());
}

int TraceBackTables::signalsUpToGroup(int group) const {
  int total = 0;
  for (int g = 1; g <= group && g <= kGroupCount; ++g) total += GroupSignals[g];
  return total;
}

int TraceBackTables::groupOfSignal(int signal) const {
  for (int g = 1; g <= kGroupCount; ++g)
    if (signal <= signalsUpToGroup(g)) return g;
  return 0;
}

std::string TraceBackTables::signalAddress(int bank, int signal) const {
  if (bank < 0 || bank >= static_cast<int>(SignalAddress.size())) return {};
  const auto& row = SignalAddress[bank];
  if (signal < 0 || signal >= static_cast<int>(row.size())) return {};
  return row[signal];
}

bool HoldsFaultRecord(const BankTimeRow& row) {
  for (int field = kMonthField; field <= kSecondField; ++field)
    if (row[field] != "00") return true;
  return false;
}

const BankTimeRow& TraceBackTables::bankTime(int bank) const {
  static const BankTimeRow empty{};
  if (bank < 0 || bank >= static_cast<int>(BankTime.size())) return empty;
  return BankTime[bank];
}

const BankFaultList& TraceBackTables::bankFaults(int bank) const {
  static const BankFaultList empty{};
  if (bank < 0 || bank >= static_cast<int>(BankFaults.size())) return empty;
  return BankFaults[bank];
}

std::string TraceBackTables::bankSoftVersion(int bank) const {
  if (bank < 0 || bank >= static_cast<int>(BankSoftVersion.size())) return {};
  return BankSoftVersion[bank];
}

}  // namespace quillon
