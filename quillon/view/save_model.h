#pragma once
// One save as the viewer, the report and the export see it, whatever form it was read from
// (archive, moved folder, trace-back workbook, CSV set): the drive, its banks with their
// signals and samples, and the record tables.
#include <cmath>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::view {

struct LabelledText {
  std::string label;
  std::string text;
};

struct DriveInfo {
  std::string driveType;
  std::string softVersion;       // the drive's firmware version where the save names one
  std::string panelName;
  std::string orderNumber;
  std::string interfaceVersion;  // from the drive status
  std::string driveTime;         // the drive's clock when saved
  std::string customer;          // job number text of the setting-parameter workbook
  std::string inverterRating;    // "440.0V - 20.0A - 150.0KVA" as saved
  std::string motorRating;       // "9.0kW - 4P - ..." as saved
};

// Identity and ratings as label/text rows, ratings split into their parts.
std::vector<LabelledText> DriveInfoRows(const DriveInfo& drive);

// One of the first three sample groups, as the save records them.
struct SampleGroup {
  int number = 0;        // 1..3
  int depth = 0;         // samples per signal
  int signalsUpTo = 0;   // signals of groups 1..number together
  int faultSample = 0;   // sample index of the fault, as the drive gave it
  long long sampling = 0;  // sampling value, as the drive gave it
};

struct Fault {
  int entry = 0;               // 1..30
  std::string code;            // as saved
  std::string name;            // the database's name, or empty without one
  std::string explanation;
  std::optional<long long> detectedSample;
};

struct Signal {
  int number = 0;               // 1-based
  std::string address;          // "&H" + digits as saved
  std::string symbol;           // the database's symbol, or the address where it had none
  std::string longName;         // empty where the database had none
  std::string unit;             // display character, where the workbook has one
  std::optional<double> pctValue;  // the value that is 100 %
  int group = 0;                // 1..3; 0 when the save does not record the signal's group
};

// Where a signal's samples stand on the x axis that all plots share: counted from its
// group's fault sample (0 = the fault), in samples, or in seconds where the user said what
// one sampling value means in time. position = (sample - origin) * step.
struct AxisMapping {
  double origin = 1;       // 1-based sample index at position 0
  double step = 1;         // axis units per sample
  bool fromFault = false;  // origin is the group's fault sample
  bool timed = false;      // step is seconds
  double positionOf(double sample) const { return (sample - origin) * step; }
  double sampleAt(double position) const { return position / step + origin; }
};

struct Bank {
  std::optional<int> number;    // known from a CSV set's file names
  std::string source;           // file or folder it was read from (name only)
  std::string faultTime;        // "yyyy/mm/dd  hh:mm:ss" as saved
  std::string softVersion;      // firmware version recorded with the bank
  std::vector<Fault> faults;    // entries that hold a fault code
  std::vector<SampleGroup> groups;
  std::vector<Signal> signals;
  std::size_t rows = 0;         // samples per signal in the save
  // Column-major: signal i (0-based) sample r (0-based) at i * rows + r; NaN where not saved.
  std::vector<double> samples;
  bool rawSamples = false;      // CSV set: the drive's words; workbook: scaled by access code

  const double* signalSamples(std::size_t index) const { return samples.data() + index * rows; }
  // The group of a signal, or nothing for signals outside the recorded groups.
  const SampleGroup* groupOf(const Signal& signal) const;
  // Samples the signal's own group holds (all rows when its group is not recorded).
  std::size_t depthOf(const Signal& signal) const;
  std::size_t depthOf(const SampleGroup& group) const;
  // 1-based sample index of the group's fault sample, when it lies inside the group's depth.
  std::optional<std::size_t> faultSampleOf(const SampleGroup& group) const;
  std::optional<std::size_t> faultSampleOf(const Signal& signal) const;
  // `secondsPerSampling`: what one sampling value means in time, where the user knows it.
  // A signal outside the recorded groups has no fault sample and no sampling: it counts
  // samples from its first.
  AxisMapping axisOf(const Signal& signal, std::optional<double> secondsPerSampling = std::nullopt) const;
  AxisMapping axisOf(const SampleGroup& group, std::optional<double> secondsPerSampling = std::nullopt) const;
  // "OC, OV" or the codes where no names are saved.
  std::string faultSummary() const;
  // "Bank 0"; a workbook does not save its bank number: "Fault of <fault time>".
  std::string title() const;
};

struct RecordTable {
  std::string title;  // "Trouble records", "Event counters", ...
  std::string source;
  std::vector<std::string> columns;
  std::vector<std::vector<std::string>> rows;
  std::string note;  // what the table lacks, where it does

  // Index of the column of that name; columns.size() where there is none.
  std::size_t columnOf(std::string_view name) const;
};

enum class TableKind { TroubleRecords, EventCounters, DriveStatus, EventLog, SettingParameters, SettingTexts, OtherBanks };
const char* TableTitle(TableKind kind);

struct SaveModel {
  std::string name;  // the path given, file name part
  DriveInfo drive;
  std::vector<Bank> banks;
  std::vector<std::pair<TableKind, RecordTable>> tables;
  // What the save lacks and why, one sentence each: shown above what it holds.
  std::vector<std::string> gaps;

  const RecordTable* table(TableKind kind) const;
};

// A stored number as text, every digit kept: the shortest text that reads back to it. A
// fraction a single float holds exactly (workbook samples are Single) is written as that
// float's shortest text, 35.4 rather than 35.400001525878906.
std::string StoredNumberText(double value);

// The value of a sample as a percentage of the signal's "PCTValue". Only percent items have
// one that means 100 %: a plain decimal item (no display unit) carries a placeholder 100.
inline std::optional<double> PercentOf(const Signal& signal, double value) {
  if (signal.unit.empty()) return std::nullopt;
  if (!signal.pctValue || *signal.pctValue == 0 || !std::isfinite(*signal.pctValue)) return std::nullopt;
  return value / *signal.pctValue * 100.0;
}

// The one decision of what a sample is shown as: a percent signal in % of its 100 % value,
// any other signal as its stored value, never a raw count under an engineering unit.
inline double ShownValue(const Signal& signal, double stored) {
  if (auto percent = PercentOf(signal, stored)) return *percent;
  return stored;
}
// "%" for percent signals, empty for stored values (their count has no unit of its own).
inline std::string ShownUnit(const Signal& signal) { return PercentOf(signal, 0) ? "%" : std::string(); }
// What the shown value measures: "% of rated; min-1" or "stored value".
inline std::string ShownQuantity(const Signal& signal) {
  if (!PercentOf(signal, 0)) return "stored value";
  // A unit that is itself "%" says nothing more.
  return signal.unit.empty() || signal.unit == "%" ? std::string("% of rated") : "% of rated; " + signal.unit;
}

}  // namespace quillon::view
