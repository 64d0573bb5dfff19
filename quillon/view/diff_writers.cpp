#include "quillon/view/diff_writers.h"

#include "quillon/view/listing_text.h"
#include "quillon/view/svg_writer.h"

namespace quillon::view {

namespace {

constexpr const char* kNone = "(none)";

const char* keyHeading(DiffSection section) {
  switch (section) {
    case DiffSection::Identity: return "Field";
    case DiffSection::Settings: return "Parameter";
    case DiffSection::Banks: return "Fault time";
    case DiffSection::TroubleRecords: return "Time";
    case DiffSection::EventCounts: return "Counter";
    case DiffSection::EventLog: return "Time";
  }
  return "";
}

// Sections of entries that only the newer save has show no older value.
bool onlyNewEntries(DiffSection section) {
  return section == DiffSection::TroubleRecords || section == DiffSection::EventLog;
}

enum Column { kKey, kName, kUnit, kOld, kArrow, kNew, kChange, kColumns };

std::vector<std::string> cellsOf(const DiffEntry& entry) {
  std::vector<std::string> cells(kColumns);
  cells[kKey] = entry.key;
  cells[kName] = entry.name;
  cells[kUnit] = entry.unit;
  cells[kOld] = entry.oldValue.value_or(kNone);
  cells[kArrow] = "->";
  cells[kNew] = entry.newValue.value_or(kNone);
  cells[kChange] = entry.change.empty() ? "" : "(" + entry.change + ")";
  return cells;
}

// The columns of a section that hold something.
std::vector<bool> usedColumns(DiffSection section, const std::vector<DiffEntry>& entries) {
  std::vector<bool> used(kColumns, false);
  used[kKey] = used[kNew] = true;
  used[kOld] = used[kArrow] = !onlyNewEntries(section);
  for (const DiffEntry& entry : entries) {
    used[kName] = used[kName] || !entry.name.empty();
    used[kUnit] = used[kUnit] || !entry.unit.empty();
    used[kChange] = used[kChange] || !entry.change.empty();
  }
  return used;
}

std::vector<std::string> keep(const std::vector<std::string>& cells, const std::vector<bool>& used) {
  std::vector<std::string> kept;
  for (std::size_t c = 0; c < cells.size(); ++c)
    if (used[c]) kept.push_back(cells[c]);
  return kept;
}

std::string esc(const std::string& text) { return EscapeXml(text); }

std::string htmlValue(const std::optional<std::string>& value, const char* background) {
  if (!value) return "<td class=\"note\">" + std::string(kNone) + "</td>";
  return std::string("<td style=\"background:") + background + "\">" + esc(*value) + "</td>";
}

std::string htmlTable(DiffSection section, const std::vector<DiffEntry>& entries) {
  const std::vector<bool> used = usedColumns(section, entries);
  const char* headings[kColumns] = {keyHeading(section), "Name", "Unit", "Older", "", "Newer", "Change"};
  std::string html = "<table><thead><tr>";
  for (int c = 0; c < kColumns; ++c)
    if (used[c] && c != kArrow) html += std::string("<th>") + headings[c] + "</th>";
  html += "</tr></thead><tbody>\n";
  for (const DiffEntry& entry : entries) {
    html += "<tr><td>" + esc(entry.key) + "</td>";
    if (used[kName]) html += "<td>" + esc(entry.name) + "</td>";
    if (used[kUnit]) html += "<td>" + esc(entry.unit) + "</td>";
    if (used[kOld]) html += htmlValue(entry.oldValue, "#fbe3e3");
    html += htmlValue(entry.newValue, "#e2f4e2");
    if (used[kChange]) html += "<td class=\"n\">" + esc(entry.change) + "</td>";
    html += "</tr>\n";
  }
  return html + "</tbody></table>\n";
}

std::string jsonEntry(const DiffEntry& entry) {
  std::string json = "{\"key\": " + JsonString(entry.key) + ", \"old\": " + JsonOrNull(entry.oldValue) +
                     ", \"new\": " + JsonOrNull(entry.newValue);
  if (!entry.name.empty()) json += ", \"name\": " + JsonString(entry.name);
  if (!entry.unit.empty()) json += ", \"unit\": " + JsonString(entry.unit);
  if (!entry.change.empty()) json += ", \"change\": " + JsonString(entry.change);
  return json + "}";
}

}  // namespace

std::string DiffText(const SaveDiff& diff) {
  std::string text = "Older: " + diff.oldSave + "\nNewer: " + diff.newSave + "\n" + diff.summary() + "\n";
  for (DiffSection section : kDiffSections) {
    const auto& entries = diff.entries(section);
    if (entries.empty()) continue;
    const std::vector<bool> used = usedColumns(section, entries);
    std::vector<std::vector<std::string>> rows;
    for (const DiffEntry& entry : entries) rows.push_back(keep(cellsOf(entry), used));
    text += std::string("\n") + DiffSectionTitle(section) + "\n" + AlignedColumns(rows, "  ");
  }
  if (!diff.notes.empty()) text += "\n";
  for (const std::string& note : diff.notes) text += note + "\n";
  return text;
}

std::string DiffJson(const SaveDiff& diff) {
  std::string json = "{\n  \"oldSave\": " + JsonString(diff.oldSave) + ",\n  \"newSave\": " + JsonString(diff.newSave) +
                     ",\n  \"summary\": " + JsonString(diff.summary());
  for (DiffSection section : kDiffSections) {
    json += ",\n  \"" + std::string(DiffSectionKey(section)) + "\": [";
    const auto& entries = diff.entries(section);
    for (std::size_t i = 0; i < entries.size(); ++i) json += (i == 0 ? "\n    " : ",\n    ") + jsonEntry(entries[i]);
    json += entries.empty() ? "]" : "\n  ]";
  }
  json += ",\n  \"notes\": [";
  for (std::size_t i = 0; i < diff.notes.size(); ++i) json += (i == 0 ? "" : ", ") + JsonString(diff.notes[i]);
  return json + "]\n}\n";
}

std::string DiffHtmlSection(const SaveDiff& diff) {
  std::string html = "<section class=\"records\"><h2>Differences</h2>\n<p class=\"source\">Older: " + esc(diff.oldSave) +
                     "<br>Newer: " + esc(diff.newSave) + "</p>\n<p>" + esc(diff.summary()) + "</p>\n";
  for (DiffSection section : kDiffSections) {
    const auto& entries = diff.entries(section);
    if (!entries.empty()) html += "<h3>" + esc(DiffSectionTitle(section)) + "</h3>" + htmlTable(section, entries);
  }
  for (const std::string& note : diff.notes) html += "<p class=\"note\">" + esc(note) + "</p>\n";
  return html + "</section>\n";
}

std::string DiffHtmlPage(const SaveDiff& diff) {
  static constexpr const char* kStyle =
      "body { font-family: sans-serif; font-size: 10pt; color: #202020; margin: 16px; }\n"
      "h2 { font-size: 14pt; border-bottom: 1px solid #999; }\nh3 { font-size: 11pt; margin: 14px 0 4px 0; }\n"
      "p.source { color: #555; }\n.note { color: #555; font-style: italic; }\n"
      "table { border-collapse: collapse; margin: 4px 0 8px 0; }\n"
      "th, td { border: 1px solid #bbb; padding: 2px 6px; text-align: left; vertical-align: top; }\n"
      "th { background: #eee; }\ntd.n { text-align: right; }\n";
  return "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n<title>Differences of two saves</title>\n"
         "<style>" +
         std::string(kStyle) + "</style></head><body>\n" + DiffHtmlSection(diff) + "</body></html>\n";
}

}  // namespace quillon::view
