#pragma once
// The trace-back tables of a save run: the group layout (same for all banks), the per-bank
// group values, fault times, fault lists and versions, and the signal addresses and samples of
// the bank being read. Samples are held for one bank at a time, the bank that the save run is
// reading and converting; the 16-bit or the 32-bit table is allocated, never both.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillon {

inline constexpr int kGroupCount = 5;
inline constexpr int kGroupTableSize = 6;      // indexes 0 to 5
inline constexpr int kDepthUnitSamples = 64;
inline constexpr int kBankTimeFields = 7;      // 0 unused, then year, month, day, hour, minute, second
inline constexpr int kBankFaultEntries = 31;   // 0 unused, then entries 1 to 30
inline constexpr int kBankFaultFields = 3;     // 0 unused, 1 FI code, 2 detected sample
inline constexpr int kDefaultBankCount = 8;

// Samples of one bank: signals 0 to `signals`, samples 0 to `samples`; index 0 of both stays 0.
template <typename T>
class BankSamples {
 public:
  void reset(int signals, int samples) {
    signals_ = signals;
    samples_ = samples;
    values_.assign(static_cast<std::size_t>(signals + 1) * static_cast<std::size_t>(samples + 1), T{});
  }
  void release() { reset(-1, -1), values_.shrink_to_fit(); }
  bool contains(int signal, int sample) const {
    return signal >= 0 && signal <= signals_ && sample >= 0 && sample <= samples_;
  }
  // Outside the table reads 0 and writes nothing.
  T at(int signal, int sample) const { return contains(signal, sample) ? values_[index(signal, sample)] : T{}; }
  void set(int signal, int sample, T value) {
    if (contains(signal, sample)) values_[index(signal, sample)] = value;
  }
  int signals() const { return signals_; }
  int samples() const { return samples_; }
  std::size_t bytes() const { return values_.capacity() * sizeof(T); }

 private:
  std::size_t index(int signal, int sample) const {
    return static_cast<std::size_t>(signal) * static_cast<std::size_t>(samples_ + 1) + static_cast<std::size_t>(sample);
  }
  int signals_ = -1;
  int samples_ = -1;
  std::vector<T> values_;
};

using BankTimeRow = std::array<std::string, kBankTimeFields>;
// Bank time fields, as "MY1" fills them.
inline constexpr int kYearField = 1, kMonthField = 2, kDayField = 3, kHourField = 4, kMinuteField = 5,
                     kSecondField = 6;
// (entry, field) of one bank; empty until written.
using BankFaultList = std::array<std::array<std::optional<std::int16_t>, kBankFaultFields>, kBankFaultEntries>;

// True when a bank's time holds a record: any of month, day, hour, minute, second is not "00".
bool BankHoldsRecord(const BankTimeRow& row);

struct TraceBackTables {
  std::uint8_t BankCount = kDefaultBankCount;

  // Group layout from "MX1": depth of group g (units of 64 samples) at g - 1, signal count at g.
  std::array<std::uint8_t, kGroupTableSize> GroupDepth{};
  std::array<std::uint8_t, kGroupTableSize> GroupSignals{};
  std::uint8_t MaxGroupDepth = 0;
  std::uint8_t SignalsPerBank = 0;
  // Per bank, group g at g: "MX2" and "MX3".
  std::array<std::int32_t, kGroupTableSize> GroupSampling{};
  std::array<std::int16_t, kGroupTableSize> GroupFaultIndex{};

  // Bank 0 to BankCount.
  std::vector<BankTimeRow> BankTime;
  std::vector<BankFaultList> BankFaults;
  std::vector<std::string> BankSoftVersion;
  // (bank, signal 0 to SignalsPerBank): "&H" + hex digits.
  std::vector<std::vector<std::string>> SignalAddress;

  // Samples of the bank being read.
  BankSamples<std::int16_t> SampleData16;
  BankSamples<std::int32_t> SampleData32;

  // Start of a run: group layout, sampling values and summary bytes cleared.
  void clearGroups();
  // Before the first "MY1": banks 0 to BankCount, fields 0 to 6, all empty.
  void resizeBankTime();
  // Before a bank's requests: its addresses, samples (16-bit below the wide request level,
  // 32-bit otherwise), fault list and version, all cleared.
  void resizeBankTables(int interfaceLevel);

  int sampleDepth() const { return MaxGroupDepth * kDepthUnitSamples; }
  // Signals of groups 1 to g together.
  int signalsUpToGroup(int group) const;
  // The first group g (1 to 5) whose running signal total reaches `signal`; 0 when none does.
  int groupOfSignal(int signal) const;
  std::string signalAddress(int bank, int signal) const;
  const BankTimeRow& bankTime(int bank) const;
  // Empty for a bank outside the tables.
  const BankFaultList& bankFaults(int bank) const;
  std::string bankSoftVersion(int bank) const;
};

struct DriveIdentity;

// One bank as its workbook and its CSV set read it: views of the run's own tables.
struct TraceBank {
  std::uint8_t bank;
  const DriveIdentity& identity;
  const TraceBackTables& tables;
  const std::string& SafePanelName;
};

}  // namespace quillon
