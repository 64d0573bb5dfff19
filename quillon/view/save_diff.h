#pragma once
// What changed between two saves of a drive: its identity, its setting parameters, the
// trace-back banks (by fault time), the trouble records and event-log entries that came since
// the older save, and the event counters. Only what differs is listed.
#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "quillon/view/save_model.h"

namespace quillon::view {

enum class DiffSection { Identity, Settings, Banks, TroubleRecords, EventCounts, EventLog };
inline constexpr std::array<DiffSection, 6> kDiffSections = {DiffSection::Identity,       DiffSection::Settings,
                                                             DiffSection::Banks,          DiffSection::TroubleRecords,
                                                             DiffSection::EventCounts,    DiffSection::EventLog};
// "identity", "settings", "banks", "troubleRecords", "eventCounts", "eventLog"
const char* DiffSectionKey(DiffSection section);
// "Identity", "Setting parameters", ...
const char* DiffSectionTitle(DiffSection section);

struct DiffEntry {
  std::string key;
  std::optional<std::string> oldValue;  // nothing: the older save has none
  std::optional<std::string> newValue;
  std::string name;    // long name, where known
  std::string unit;    // where known
  std::string change;  // event counters: "+12"
};

// A parameter the setting-parameter workbook leaves out holds 0.
inline constexpr const char* kNotListedZero = "0 (not listed)";

struct ComparedSave {
  const SaveModel& model;
  std::string path;         // as the user named it
  bool holdsBanks = true;   // false for a setting-parameter workbook alone
};

// The long name of a setting-parameter symbol, or an empty text.
using SettingNames = std::function<std::string(const std::string& symbol)>;

struct SaveDiff {
  std::string oldSave, newSave;
  std::array<std::vector<DiffEntry>, kDiffSections.size()> sections;
  std::vector<std::string> notes;  // sections not compared, and why
  std::size_t sameBanks = 0;

  const std::vector<DiffEntry>& entries(DiffSection section) const {
    return sections[static_cast<std::size_t>(section)];
  }
  bool same() const;
  // One line: "No differences." or what differs, section by section.
  std::string summary() const;
};

SaveDiff CompareSaves(const ComparedSave& oldSave, const ComparedSave& newSave, const SettingNames& names = {});

}  // namespace quillon::view
