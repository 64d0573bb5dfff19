#include "quillon/view/save_model.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace quillon::view {

namespace {

std::vector<std::string> splitAt(const std::string& text, const std::string& separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + separator.size())
    parts.push_back(text.substr(start, at - start));
  parts.push_back(text.substr(start));
  return parts;
}

// A rating text is its parts joined by " - "; a text of another shape is shown whole.
void addRating(std::vector<LabelledText>& rows, const std::string& text, const std::string& wholeLabel,
               const std::vector<const char*>& partLabels) {
  if (text.empty()) return;
  const std::vector<std::string> parts = splitAt(text, " - ");
  if (parts.size() != partLabels.size()) {
    rows.push_back({wholeLabel, text});
    return;
  }
  for (std::size_t i = 0; i < parts.size(); ++i) rows.push_back({partLabels[i], parts[i]});
}

}  // namespace

std::string StoredNumberText(double value) {
  char text[40];
  const bool wholeNumber = std::trunc(value) == value;
  const auto single = static_cast<float>(value);
  const auto result = !wholeNumber && std::isfinite(value) && static_cast<double>(single) == value
                          ? std::to_chars(text, text + sizeof text, single)
                          : std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

std::vector<LabelledText> DriveInfoRows(const DriveInfo& drive) {
  std::vector<LabelledText> rows;
  auto add = [&rows](const char* label, const std::string& text) {
    if (!text.empty()) rows.push_back({label, text});
  };
  add("Drive type", drive.driveType);
  add("Firmware version", drive.softVersion);
  add("Panel name", drive.panelName);
  add("Order number", drive.orderNumber);
  add("Interface version", drive.interfaceVersion);
  add("Drive clock", drive.driveTime);
  add("Job number", drive.customer);
  addRating(rows, drive.inverterRating, "Inverter rating",
            {"Inverter voltage", "Inverter current", "Inverter capacity"});
  addRating(rows, drive.motorRating, "Motor rating",
            {"Motor output", "Motor poles", "Motor voltage", "Motor current", "Motor frequency", "Motor speed"});
  return rows;
}

const SampleGroup* Bank::groupOf(const Signal& signal) const {
  for (const SampleGroup& group : groups)
    if (group.number == signal.group) return &group;
  return nullptr;
}

std::size_t Bank::depthOf(const SampleGroup& group) const {
  return std::min(rows, static_cast<std::size_t>(std::max(group.depth, 0)));
}

std::size_t Bank::depthOf(const Signal& signal) const {
  const SampleGroup* group = groupOf(signal);
  return group ? depthOf(*group) : rows;
}

std::optional<std::size_t> Bank::faultSampleOf(const SampleGroup& group) const {
  if (group.faultSample < 1 || static_cast<std::size_t>(group.faultSample) > depthOf(group)) return std::nullopt;
  return static_cast<std::size_t>(group.faultSample);
}

std::optional<std::size_t> Bank::faultSampleOf(const Signal& signal) const {
  const SampleGroup* group = groupOf(signal);
  return group ? faultSampleOf(*group) : std::nullopt;
}

AxisMapping Bank::axisOf(const Signal& signal, std::optional<double> secondsPerSampling) const {
  const SampleGroup* group = groupOf(signal);
  return group ? axisOf(*group, secondsPerSampling) : AxisMapping{};
}

AxisMapping Bank::axisOf(const SampleGroup& group, std::optional<double> secondsPerSampling) const {
  AxisMapping mapping;
  if (auto fault = faultSampleOf(group)) {
    mapping.origin = static_cast<double>(*fault);
    mapping.fromFault = true;
  }
  if (secondsPerSampling && *secondsPerSampling > 0 && group.sampling > 0) {
    mapping.step = static_cast<double>(group.sampling) * *secondsPerSampling;
    mapping.timed = true;
  }
  return mapping;
}

std::string Bank::faultSummary() const {
  std::string summary;
  for (const Fault& fault : faults) {
    if (!summary.empty()) summary += ", ";
    summary += fault.name.empty() ? "FI " + fault.code : fault.name;
  }
  return summary;
}

std::string Bank::title() const {
  if (number) return "Bank " + std::to_string(*number);
  return faultTime.empty() ? source : "Fault of " + faultTime;
}

const char* TableTitle(TableKind kind) {
  switch (kind) {
    case TableKind::TroubleRecords: return "Trouble records";
    case TableKind::EventCounters: return "Event counters";
    case TableKind::DriveStatus: return "Drive status";
    case TableKind::EventLog: return "Event log";
    case TableKind::SettingParameters: return "Setting parameters";
    case TableKind::SettingTexts: return "Setting texts";
    case TableKind::OtherBanks: return "Other banks";
  }
  return "";
}

std::size_t RecordTable::columnOf(std::string_view name) const {
  return static_cast<std::size_t>(std::find(columns.begin(), columns.end(), name) - columns.begin());
}

const RecordTable* SaveModel::table(TableKind kind) const {
  for (const auto& [k, table] : tables)
    if (k == kind) return &table;
  return nullptr;
}

}  // namespace quillon::view
