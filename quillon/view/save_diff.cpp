#include "quillon/view/save_diff.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <map>
#include <utility>
#include <unordered_map>

#include "quillon/view/listing_text.h"

namespace quillon::view {

namespace {

std::string trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::optional<long long> wholeNumber(const std::string& text) {
  long long value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size()) return std::nullopt;
  return value;
}

bool sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
           return std::tolower(x) == std::tolower(y);
         });
}

// The columns of a record table, found by any of the names its forms give them.
class Columns {
 public:
  explicit Columns(const RecordTable& table) : table_(table) {}
  std::optional<std::size_t> find(std::initializer_list<std::string_view> names) const {
    for (std::string_view name : names)
      for (std::size_t c = 0; c < table_.columns.size(); ++c)
        if (sameName(table_.columns[c], name)) return c;
    return std::nullopt;
  }
  static std::string cell(const std::vector<std::string>& row, std::optional<std::size_t> column) {
    return column && *column < row.size() ? trimmed(row[*column]) : std::string();
  }

 private:
  const RecordTable& table_;
};

// One comparable item of a save: a parameter, an identity field, a bank, a counter.
struct Item {
  Item() = default;
  Item(std::string key, std::string value, std::string name = {}, std::string unit = {})
      : key(std::move(key)), value(std::move(value)), name(std::move(name)), unit(std::move(unit)) {}
  std::string key;
  std::string value;
  std::string name, unit;
  std::string symbol;            // for the long name of a setting parameter
  std::string faultCodes;        // a bank's: the same faults, whether the save names them or not
  bool zeroWhenMissing = false;  // the workbook leaves parameters of value 0 out
};

// A key that occurs again is told apart by its count: "ACC_TIME1", "ACC_TIME1 #2".
void makeKeysUnique(std::vector<Item>& items) {
  std::unordered_map<std::string, int> seen;
  for (Item& item : items)
    if (const int n = ++seen[item.key]; n > 1) item.key += " #" + std::to_string(n);
}

// The items of both saves side by side, each list's order kept: an item of one save only is
// paired with nothing.
std::vector<std::pair<const Item*, const Item*>> pairUp(const std::vector<Item>& olds, const std::vector<Item>& news) {
  std::unordered_map<std::string, std::size_t> oldAt, newAt;
  for (std::size_t i = 0; i < olds.size(); ++i) oldAt.emplace(olds[i].key, i);
  for (std::size_t j = 0; j < news.size(); ++j) newAt.emplace(news[j].key, j);
  std::vector<bool> oldDone(olds.size(), false);
  std::vector<std::pair<const Item*, const Item*>> pairs;
  std::size_t i = 0, j = 0;
  while (i < olds.size() || j < news.size()) {
    if (i < olds.size() && oldDone[i]) {
      ++i;
    } else if (i < olds.size() && (j == news.size() || !newAt.contains(olds[i].key))) {
      pairs.emplace_back(&olds[i++], nullptr);
    } else {
      const auto partner = oldAt.find(news[j].key);
      const Item* old = nullptr;
      if (partner != oldAt.end()) {
        old = &olds[partner->second];
        oldDone[partner->second] = true;
      }
      pairs.emplace_back(old, &news[j++]);
    }
  }
  return pairs;
}

std::optional<std::string> valueOf(const Item* item, const Item* other) {
  if (item) return item->value;
  if (other && other->zeroWhenMissing) return std::string(kNotListedZero);
  return std::nullopt;
}

// Entries for the pairs that differ in value or unit.
std::vector<DiffEntry> changedPairs(const std::vector<Item>& olds, const std::vector<Item>& news,
                                    const SettingNames& names = {}) {
  std::vector<DiffEntry> entries;
  for (const auto& [o, n] : pairUp(olds, news)) {
    if (o && n && o->value == n->value && o->unit == n->unit) continue;
    const Item& either = n ? *n : *o;
    DiffEntry entry;
    entry.key = either.key;
    entry.oldValue = valueOf(o, n);
    entry.newValue = valueOf(n, o);
    entry.name = n && !n->name.empty() ? n->name : o ? o->name : "";
    if (entry.name.empty() && names && !either.symbol.empty()) entry.name = names(either.symbol);
    entry.unit = o && n && o->unit != n->unit ? o->unit + " -> " + n->unit : either.unit;
    entries.push_back(std::move(entry));
  }
  return entries;
}

// ---- identity

std::vector<Item> identityOf(const SaveModel& model) {
  std::vector<Item> items;
  for (const LabelledText& row : DriveInfoRows(model.drive))
    if (row.label != "Drive clock") items.push_back({row.label, trimmed(row.text)});  // the clock always moves
  return items;
}

// ---- setting parameters

enum class SettingForm { None, Symbols, Words };

struct Settings {
  SettingForm form = SettingForm::None;
  std::vector<Item> items;
};

// The workbook opens (interface level 6 and up) and closes its rows with a marker row.
bool isMarkerRow(const std::string& data, const std::string& unit) { return data == "00000000" && unit == "(H)"; }

Settings settingsOf(const SaveModel& model) {
  Settings settings;
  const RecordTable* table = model.table(TableKind::SettingParameters);
  if (!table) return settings;
  const Columns columns(*table);
  if (const auto symbol = columns.find({"symbol"})) {
    settings.form = SettingForm::Symbols;
    const auto data = columns.find({"Data"}), unit = columns.find({"Unit"});
    for (const auto& row : table->rows) {
      Item item{Columns::cell(row, symbol), Columns::cell(row, data), "", Columns::cell(row, unit)};
      if (item.key.empty() || isMarkerRow(item.value, item.unit)) continue;
      item.symbol = item.key;
      item.zeroWhenMissing = true;
      settings.items.push_back(std::move(item));
    }
    if (const RecordTable* texts = model.table(TableKind::SettingTexts)) {
      const Columns textColumns(*texts);
      const auto textSymbol = textColumns.find({"symbol"}), text = textColumns.find({"CharData"});
      for (const auto& row : texts->rows) {
        Item item{Columns::cell(row, textSymbol), Columns::cell(row, text)};
        item.symbol = item.key;
        if (!item.key.empty()) settings.items.push_back(std::move(item));
      }
    }
  } else if (const auto address = columns.find({"Address"})) {
    settings.form = SettingForm::Words;
    const auto value = columns.find({"Value"});
    for (const auto& row : table->rows) settings.items.push_back({Columns::cell(row, address), Columns::cell(row, value)});
  }
  makeKeysUnique(settings.items);
  return settings;
}

const char* formText(SettingForm form) {
  switch (form) {
    case SettingForm::None: return "none";
    case SettingForm::Symbols: return "by symbol (a setting-parameter workbook)";
    case SettingForm::Words: return "by word address (no drive database)";
  }
  return "";
}

// ---- banks

std::vector<Item> banksOf(const SaveModel& model) {
  std::vector<Item> items;
  for (const Bank& bank : model.banks) {
    Item item;
    item.key = bank.faultTime.empty() ? bank.title() : bank.faultTime;
    for (const Fault& fault : bank.faults) item.faultCodes += fault.code + ",";
    item.value = bank.faults.empty() ? "no fault recorded" : bank.faultSummary();
    if (bank.number) item.name = bank.title();
    items.push_back(std::move(item));
  }
  makeKeysUnique(items);
  return items;
}

std::vector<DiffEntry> changedBanks(const std::vector<Item>& olds, const std::vector<Item>& news, std::size_t& same) {
  std::vector<DiffEntry> entries;
  for (const auto& [o, n] : pairUp(olds, news)) {
    if (o && n && o->faultCodes == n->faultCodes) {
      ++same;
      continue;
    }
    DiffEntry entry;
    entry.key = (n ? n : o)->key;
    if (o) entry.oldValue = o->value;
    if (n) entry.newValue = n->value;
    entry.name = n && !n->name.empty() ? n->name : o ? o->name : "";
    entries.push_back(std::move(entry));
  }
  std::stable_sort(entries.begin(), entries.end(), [](const DiffEntry& a, const DiffEntry& b) { return a.key < b.key; });
  return entries;
}

// ---- records that only grow: trouble records and event-log entries

// A time stamp the drive never wrote: no digit but zeros, after a year 2000.
bool isBlankTime(const std::string& time) {
  std::string digits;
  for (char c : time)
    if (std::isdigit(static_cast<unsigned char>(c))) digits += c;
  if (digits.starts_with("2000")) digits.erase(0, 4);
  return std::all_of(digits.begin(), digits.end(), [](char c) { return c == '0'; });
}

struct Occurrence {
  std::string time;
  std::string text;      // what the entry holds, as shown
  std::string identity;  // what tells it apart, whatever names the save gave it
};

std::string faultText(const std::string& code, const std::string& name) {
  return name.empty() || name == code ? "FI " + code : "FI " + code + " (" + name + ")";
}

std::vector<Occurrence> troubleRecordsOf(const RecordTable& table) {
  const Columns columns(table);
  const auto time = columns.find({"TimeS", "Time"});
  const auto code1 = columns.find({"FI1", "Fault code 1"}), code2 = columns.find({"Fi2", "Fault code 2"});
  const auto name1 = columns.find({"Fi1_Data"}), name2 = columns.find({"Fi2_Data"});
  std::vector<Occurrence> records;
  for (const auto& row : table.rows) {
    const std::string first = Columns::cell(row, code1), second = Columns::cell(row, code2);
    records.push_back({Columns::cell(row, time),
                       faultText(first, Columns::cell(row, name1)) + ", " + faultText(second, Columns::cell(row, name2)),
                       first + "," + second});
  }
  return records;
}

// "<symbol>_B<bit>_<word>": one bit of a status word, as the workbook's event log holds it.
std::optional<std::pair<std::string, int>> statusBit(const std::string& column) {
  for (std::size_t at = column.rfind("_B"); at != std::string::npos; at = at == 0 ? std::string::npos : column.rfind("_B", at - 1)) {
    std::size_t end = at + 2;
    while (end < column.size() && std::isdigit(static_cast<unsigned char>(column[end]))) ++end;
    if (end == at + 2 || end - at > 4 || end >= column.size() || column[end] != '_') continue;
    const int bit = std::stoi(column.substr(at + 2, end - at - 2));
    if (bit <= 15) return std::make_pair(column.substr(end + 1), bit);
  }
  return std::nullopt;
}

std::string hexWord(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", value & 0xFFFFu);
  return text;
}

// Each entry as its status words in hexadecimal ("DI_DATA1=FE8C ..."), whether saved as
// words (the CSV file) or as one column per bit (the workbook).
std::vector<Occurrence> eventLogOf(const RecordTable& table) {
  const Columns columns(table);
  const auto time = columns.find({"TimeS", "Time"});
  const auto number = columns.find({"ID", "No."});
  std::vector<Occurrence> entries;
  for (const auto& row : table.rows) {
    std::vector<std::pair<std::string, unsigned>> words;
    auto wordNamed = [&words](const std::string& name) -> unsigned& {
      for (auto& [n, value] : words)
        if (n == name) return value;
      return words.emplace_back(name, 0u).second;
    };
    std::string other;
    for (std::size_t c = 0; c < table.columns.size() && c < row.size(); ++c) {
      if (c == time || c == number) continue;
      const std::string value = trimmed(row[c]);
      const std::optional<long long> parsed = wholeNumber(value);
      if (const auto bit = statusBit(table.columns[c]); bit && parsed) {
        if (*parsed != 0) wordNamed(bit->first) |= 1u << bit->second;
        else wordNamed(bit->first);
      } else if (parsed) {
        wordNamed(table.columns[c]) = static_cast<unsigned>(*parsed);
      } else {
        other += " " + table.columns[c] + "=" + value;
      }
    }
    std::string text;
    for (const auto& [name, value] : words) text += (text.empty() ? "" : " ") + name + "=" + hexWord(value);
    entries.push_back({Columns::cell(row, time), text + other, text + other});
  }
  return entries;
}

// The entries of `news` that `olds` does not hold, each occurrence counted.
std::vector<DiffEntry> newSince(const std::vector<Occurrence>& olds, const std::vector<Occurrence>& news) {
  std::map<std::pair<std::string, std::string>, int> held;
  for (const Occurrence& o : olds) ++held[{o.time, o.identity}];
  std::vector<Item> fresh;
  for (const Occurrence& n : news) {
    if (isBlankTime(n.time)) continue;
    if (int& count = held[{n.time, n.identity}]; count > 0) {
      --count;
      continue;
    }
    fresh.push_back({n.time, n.text});
  }
  makeKeysUnique(fresh);
  std::vector<DiffEntry> entries;
  for (Item& item : fresh) {
    DiffEntry entry;
    entry.key = std::move(item.key);
    entry.newValue = std::move(item.value);
    entries.push_back(std::move(entry));
  }
  return entries;
}

// ---- event counters

std::vector<Item> eventCountsOf(const RecordTable& table) {
  const Columns columns(table);
  const auto number = columns.find({"No.", "ID"}), count = columns.find({"Count", "Event"});
  const auto title = columns.find({"TitleUS"});
  std::vector<Item> items;
  for (std::size_t r = 0; r < table.rows.size(); ++r) {
    const auto& row = table.rows[r];
    Item item{Columns::cell(row, number), Columns::cell(row, count), Columns::cell(row, title)};
    if (item.key.empty()) item.key = std::to_string(r + 1);
    items.push_back(std::move(item));
  }
  makeKeysUnique(items);
  return items;
}

void addCountChanges(std::vector<DiffEntry>& entries) {
  for (DiffEntry& entry : entries) {
    if (!entry.oldValue || !entry.newValue) continue;
    const auto before = wholeNumber(*entry.oldValue), after = wholeNumber(*entry.newValue);
    if (!before || !after) continue;
    const long long change = *after - *before;
    entry.change = (change > 0 ? "+" : "") + std::to_string(change);
  }
}

// ---- putting it together

class Comparison {
 public:
  Comparison(const ComparedSave& oldSave, const ComparedSave& newSave, const SettingNames& names)
      : old_(oldSave), new_(newSave), names_(names) {
    diff_.oldSave = oldSave.path;
    diff_.newSave = newSave.path;
  }

  SaveDiff run() {
    section(DiffSection::Identity) = changedPairs(identityOf(old_.model), identityOf(new_.model));
    compareSettings();
    compareBanks();
    compareRecords(TableKind::TroubleRecords, DiffSection::TroubleRecords, troubleRecordsOf);
    compareRecords(TableKind::EventLog, DiffSection::EventLog, eventLogOf);
    compareCounters();
    return std::move(diff_);
  }

 private:
  std::vector<DiffEntry>& section(DiffSection s) { return diff_.sections[static_cast<std::size_t>(s)]; }

  void notCompared(DiffSection s, const std::string& why) {
    diff_.notes.push_back(std::string(DiffSectionTitle(s)) + " not compared: " + why + ".");
  }

  // Both saves hold the table, or a note says which does not.
  bool bothHold(TableKind kind, DiffSection s) {
    const bool inOld = old_.model.table(kind) != nullptr, inNew = new_.model.table(kind) != nullptr;
    if (inOld && inNew) return true;
    if (inOld || inNew) notCompared(s, std::string(inOld ? "the newer" : "the older") + " save holds none");
    return false;
  }

  void compareSettings() {
    const Settings olds = settingsOf(old_.model), news = settingsOf(new_.model);
    if (olds.form == SettingForm::None && news.form == SettingForm::None) return;
    if (olds.form != news.form) {
      notCompared(DiffSection::Settings, std::string("the older save lists them ") + formText(olds.form) +
                                             ", the newer " + formText(news.form));
      return;
    }
    section(DiffSection::Settings) = changedPairs(olds.items, news.items, names_);
  }

  void compareBanks() {
    if (!old_.holdsBanks && !new_.holdsBanks) return;
    if (!old_.holdsBanks || !new_.holdsBanks) {
      notCompared(DiffSection::Banks, std::string(old_.holdsBanks ? "the newer" : "the older") +
                                          " save is a setting-parameter workbook");
      return;
    }
    section(DiffSection::Banks) = changedBanks(banksOf(old_.model), banksOf(new_.model), diff_.sameBanks);
  }

  void compareRecords(TableKind kind, DiffSection s, std::vector<Occurrence> (*read)(const RecordTable&)) {
    if (!bothHold(kind, s)) return;
    section(s) = newSince(read(*old_.model.table(kind)), read(*new_.model.table(kind)));
  }

  void compareCounters() {
    if (!bothHold(TableKind::EventCounters, DiffSection::EventCounts)) return;
    auto& entries = section(DiffSection::EventCounts);
    entries = changedPairs(eventCountsOf(*old_.model.table(TableKind::EventCounters)),
                           eventCountsOf(*new_.model.table(TableKind::EventCounters)));
    addCountChanges(entries);
  }

  const ComparedSave& old_;
  const ComparedSave& new_;
  const SettingNames& names_;
  SaveDiff diff_;
};

std::string counted(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

const char* DiffSectionKey(DiffSection section) {
  switch (section) {
    case DiffSection::Identity: return "identity";
    case DiffSection::Settings: return "settings";
    case DiffSection::Banks: return "banks";
    case DiffSection::TroubleRecords: return "troubleRecords";
    case DiffSection::EventCounts: return "eventCounts";
    case DiffSection::EventLog: return "eventLog";
  }
  return "";
}

const char* DiffSectionTitle(DiffSection section) {
  switch (section) {
    case DiffSection::Identity: return "Identity";
    case DiffSection::Settings: return "Setting parameters";
    case DiffSection::Banks: return "Trace-back banks";
    case DiffSection::TroubleRecords: return "Trouble records new since the older save";
    case DiffSection::EventCounts: return "Event counters";
    case DiffSection::EventLog: return "Event log entries new since the older save";
  }
  return "";
}

bool SaveDiff::same() const {
  return std::all_of(sections.begin(), sections.end(), [](const auto& entries) { return entries.empty(); });
}

std::string SaveDiff::summary() const {
  std::vector<std::string> parts;
  auto add = [&parts](std::size_t n, const char* one, const char* many) {
    if (n > 0) parts.push_back(counted(n, one, many));
  };
  add(entries(DiffSection::Identity).size(), "identity field", "identity fields");
  add(entries(DiffSection::Settings).size(), "setting parameter", "setting parameters");
  std::size_t newBanks = 0, goneBanks = 0, changedBanks = 0;
  for (const DiffEntry& bank : entries(DiffSection::Banks))
    ++(!bank.oldValue ? newBanks : !bank.newValue ? goneBanks : changedBanks);
  add(newBanks, "new bank", "new banks");
  add(goneBanks, "bank gone", "banks gone");
  add(changedBanks, "bank with other faults", "banks with other faults");
  add(entries(DiffSection::TroubleRecords).size(), "new trouble record", "new trouble records");
  add(entries(DiffSection::EventCounts).size(), "event counter", "event counters");
  add(entries(DiffSection::EventLog).size(), "new event-log entry", "new event-log entries");
  std::string text = parts.empty() ? "No differences" : "Differences: " + Joined(parts, ", ");
  if (sameBanks > 0) text += " (" + counted(sameBanks, "bank", "banks") + " the same)";
  text += ".";
  if (!notes.empty()) text += " " + counted(notes.size(), "section", "sections") + " not compared.";
  return text;
}

SaveDiff CompareSaves(const ComparedSave& oldSave, const ComparedSave& newSave, const SettingNames& names) {
  return Comparison(oldSave, newSave, names).run();
}

}  // namespace quillon::view
