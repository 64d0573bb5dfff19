#include "quillon/view/report.h"

#include <algorithm>
#include <cmath>

#include "quillon/view/csv_export.h"
#include "quillon/view/plot_scene.h"
#include "quillon/view/svg_writer.h"

namespace quillon::view {

namespace {

// Small multiples: four to a row across A4. A save of many banks gets narrower curves so the
// page stays small; the SVG scales to the cell either way.
constexpr double kCellHeight = 84;  // room for tick labels on both axes
constexpr std::size_t kManySignals = 512;
double cellWidth(const SaveModel& model) {
  std::size_t signals = 0;
  for (const Bank& bank : model.banks) signals += bank.signals.size();
  return signals > kManySignals ? 164 : 244;
}

constexpr const char* kStyle = R"(
body { font-family: sans-serif; font-size: 10pt; color: #202020; margin: 16px; }
h1 { font-size: 16pt; margin: 0 0 4px 0; }
h2 { font-size: 13pt; margin: 18px 0 6px 0; border-bottom: 1px solid #999; }
h3 { font-size: 11pt; margin: 12px 0 4px 0; }
p.source { color: #555; margin: 0 0 10px 0; }
table { border-collapse: collapse; margin: 4px 0 8px 0; }
th, td { border: 1px solid #bbb; padding: 2px 6px; text-align: left; vertical-align: top; }
th { background: #eee; }
thead { display: table-header-group; }
tr { break-inside: avoid; }
td.n { text-align: right; }
.grid { display: grid; grid-template-columns: repeat(4, minmax(0, 1fr)); gap: 6px 10px; }
.cell { break-inside: avoid; font-size: 8pt; }
.cell svg { display: block; }
.cell .name { font-weight: bold; overflow-wrap: anywhere; }
.cell .range { color: #555; }
.fault { color: #c00000; }
.note { color: #555; font-style: italic; }
.gap { background: #fff4ce; color: #3b2f00; padding: 4px 6px; margin: 2px 0; }
.first { font-weight: bold; color: #c00000; }
ol.faults { margin: 2px 0 4px 0; padding-left: 22px; }
.overview { break-inside: avoid; margin: 0 0 10px 0; }
.overview svg { display: block; max-width: 100%; height: auto; }
details.settings > summary { font-size: 13pt; font-weight: bold; margin: 18px 0 6px 0; cursor: pointer; }
@page { size: A4; margin: 12mm; }
@media print {
  body { margin: 0; font-size: 9pt; }
  section.bank, section.records { break-before: page; }
  h2, h3 { break-after: avoid; }
  details.settings:not([open]) { display: none; }
  details.settings[open] { break-before: page; }
}
)";

std::string esc(const std::string& text) { return EscapeXml(text); }

std::string cells(const std::vector<std::string>& values, const char* tag) {
  std::string row = "<tr>";
  for (const std::string& v : values) row += std::string("<") + tag + ">" + esc(v) + "</" + tag + ">";
  return row + "</tr>\n";
}

std::string htmlTable(const std::vector<std::string>& columns, const std::vector<std::vector<std::string>>& rows) {
  std::string html = "<table><thead>" + cells(columns, "th") + "</thead><tbody>\n";
  for (const auto& row : rows) html += cells(row, "td");
  return html + "</tbody></table>\n";
}

// Where a save does not keep the drive's bank number, a bank is named by its place in the save.
std::string bankLabel(const Bank& bank, std::size_t order) {
  return bank.number ? std::to_string(*bank.number) : "#" + std::to_string(order + 1);
}

std::string bankHeading(const Bank& bank, std::size_t order) {
  const std::string name = "Bank " + bankLabel(bank, order);
  return bank.faultTime.empty() ? name + " (" + bank.source + ")" : name + " \xE2\x80\x94 " + bank.faultTime;
}

// The faults in the order the drive listed them, the first (the one that tripped) marked.
std::string faultList(const Bank& bank) {
  if (bank.faults.empty()) return "<p class=\"note\">No fault listed.</p>\n";
  std::string html = "<ol class=\"faults\">";
  for (std::size_t i = 0; i < bank.faults.size(); ++i) {
    const Fault& f = bank.faults[i];
    std::string text = f.name.empty() ? "FI " + f.code : f.name + " (FI " + f.code + ")";
    if (!f.explanation.empty()) text += ": " + f.explanation;
    html += i == 0 ? "<li><span class=\"first\">" + esc(text) + "</span> \xE2\x80\x94 first fault</li>"
                   : "<li>" + esc(text) + "</li>";
  }
  return html + "</ol>\n";
}

// The first signal of each group: its fault lines stand one under another.
std::vector<std::size_t> overviewSignals(const Bank& bank) {
  std::vector<std::size_t> chosen;
  for (std::size_t i = 0; i < bank.signals.size() && chosen.size() < 3; ++i)
    if (std::none_of(chosen.begin(), chosen.end(), [&](std::size_t c) { return bank.signals[c].group == bank.signals[i].group; }))
      chosen.push_back(i);
  for (std::size_t i = 0; i < bank.signals.size() && chosen.size() < 2; ++i)
    if (std::find(chosen.begin(), chosen.end(), i) == chosen.end()) chosen.push_back(i);
  std::sort(chosen.begin(), chosen.end());
  return chosen;
}

std::string overviewPlot(const Bank& bank, std::optional<double> secondsPerSampling) {
  PlotRequest request;
  request.bank = &bank;
  request.signals = overviewSignals(bank);
  if (request.signals.empty()) return {};
  request.width = 700;
  request.height = 70 + 70.0 * static_cast<double>(request.signals.size());
  const AxisSpan span = WholeSpan(bank, request.signals, secondsPerSampling);
  request.first = span.first;
  request.last = span.last;
  request.secondsPerSampling = secondsPerSampling;
  request.percent = true;  // as the captions and figures show the values
  return "<div class=\"overview\">" + SceneToSvg(BuildPlotScene(request), {0, true, false}) + "</div>\n";
}

std::string summarySection(const SaveModel& model, std::optional<double> secondsPerSampling) {
  std::string html = "<section class=\"summary\"><h2>Drive</h2><table><tbody>\n";
  for (const LabelledText& row : DriveInfoRows(model.drive))
    html += "<tr><th>" + esc(row.label) + "</th><td>" + esc(row.text) + "</td></tr>\n";
  html += "</tbody></table>\n";
  if (model.banks.empty()) return html + "</section>\n";
  std::vector<std::vector<std::string>> rows;
  bool numbered = true;
  for (std::size_t i = 0; i < model.banks.size(); ++i) {
    const Bank& bank = model.banks[i];
    numbered = numbered && bank.number.has_value();
    rows.push_back({bankLabel(bank, i), bank.faultTime, bank.faultSummary(), std::to_string(bank.signals.size()),
                    std::to_string(bank.rows), bank.source});
  }
  html += "<h2>Banks</h2>" + htmlTable({"Bank", "Fault time", "Faults", "Signals", "Samples", "Saved as"}, rows);
  if (!numbered)
    html += "<p class=\"note\">#: the bank's place in the save, oldest fault first; a trace-back workbook keeps "
            "the drive's bank number only in a save made with /l.</p>\n";
  for (std::size_t i = 0; i < model.banks.size(); ++i) {
    const Bank& bank = model.banks[i];
    html += "<h3>" + esc(bankHeading(bank, i)) + "</h3>\n" + faultList(bank) + overviewPlot(bank, secondsPerSampling);
  }
  return html + "</section>\n";
}

std::string signalCaption(const Signal& signal) {
  std::string caption = "<div class=\"name\">" + esc(signal.symbol) + "</div><div>";
  if (signal.longName != signal.symbol) caption += esc(signal.longName);
  caption += " [" + esc(ShownQuantity(signal)) + "]";
  return caption + "</div>";
}

// The stored range over the signal's depth, and the value at the fault sample.
std::string signalFigures(const Bank& bank, const Signal& signal) {
  const double* samples = bank.signalSamples(static_cast<std::size_t>(signal.number - 1));
  const std::size_t depth = bank.depthOf(signal);
  double low = INFINITY, high = -INFINITY;
  for (std::size_t i = 0; i < depth; ++i)
    if (std::isfinite(samples[i])) {
      const double shown = ShownValue(signal, samples[i]);
      low = std::min(low, shown), high = std::max(high, shown);
    }
  std::string text = "<div class=\"range\">";
  text += low <= high ? ValueText(low) + " \xE2\x80\xA6 " + ValueText(high) : std::string("no samples");
  if (auto fault = bank.faultSampleOf(signal)) {
    const double value = samples[*fault - 1];
    text += " <span class=\"fault\">fault @" + std::to_string(*fault) +
            (std::isfinite(value) ? " = " + ValueText(ShownValue(signal, value)) : std::string(": no value")) + "</span>";
  }
  if (signal.pctValue && signal.unit.size()) text += " (100 % = " + ValueText(*signal.pctValue) + ")";
  return text + "</div>";
}

std::string signalCell(const Bank& bank, std::size_t index, double width, std::optional<double> secondsPerSampling) {
  PlotRequest request;
  request.bank = &bank;
  request.signals = {index};
  request.width = width;
  request.height = kCellHeight;
  // Every cell of the bank over the same span, so that the fault lines stand one under another.
  std::vector<std::size_t> all(bank.signals.size());
  for (std::size_t i = 0; i < all.size(); ++i) all[i] = i;
  const AxisSpan span = WholeSpan(bank, all, secondsPerSampling);
  request.first = span.first;
  request.last = span.last;
  request.secondsPerSampling = secondsPerSampling;
  request.percent = true;  // as the captions and figures show the values
  request.compact = true;
  const std::string svg = SceneToSvg(BuildPlotScene(request), {0, true, false});
  return "<div class=\"cell\">" + signalCaption(bank.signals[index]) + svg + signalFigures(bank, bank.signals[index]) +
         "</div>\n";
}

std::string bankSection(const Bank& bank, std::size_t order, double width, std::optional<double> secondsPerSampling) {
  const std::string heading = bankHeading(bank, order);
  std::string html = "<section class=\"bank\"><h2>" + esc(heading) +
                     (bank.faults.empty() ? "" : " \xE2\x80\x94 " + esc(bank.faultSummary())) + "</h2>\n";
  html += "<p class=\"source\">" + esc(bank.source) +
          (bank.softVersion.empty() ? "" : ", firmware " + esc(bank.softVersion)) +
          (bank.rawSamples ? ", samples as the drive sent them (no drive database)" : "") + "</p>\n";
  std::vector<std::vector<std::string>> faults;
  for (const Fault& f : bank.faults)
    faults.push_back({std::to_string(f.entry) + (faults.empty() ? " (first)" : ""), f.code, f.name, f.explanation,
                      f.detectedSample ? std::to_string(*f.detectedSample) : ""});
  if (!faults.empty()) html += "<h3>Faults</h3>" + htmlTable({"Entry", "Code", "Name", "Explanation", "Detected at sample"}, faults);
  std::vector<std::vector<std::string>> groups;
  for (const SampleGroup& g : bank.groups)
    groups.push_back({std::to_string(g.number), std::to_string(g.depth), std::to_string(g.signalsUpTo),
                      std::to_string(g.faultSample), std::to_string(g.sampling)});
  html += "<h3>Sample groups</h3>" +
          htmlTable({"Group", "Samples", "Signals up to", "Fault sample", "Sampling"}, groups);
  if (!bank.signals.empty()) {
    html += "<h3>Signals</h3><p class=\"note\">x: " + AxisCaption(secondsPerSampling) +
            (secondsPerSampling ? " (" + ValueText(*secondsPerSampling) + " s per sampling value)" : "") +
            ", 0 = the fault sample of the signal's group</p><div class=\"grid\">\n";
    for (std::size_t i = 0; i < bank.signals.size(); ++i) html += signalCell(bank, i, width, secondsPerSampling);
    html += "</div>\n";
  }
  return html + "</section>\n";
}

bool isZeroWord(const std::vector<std::string>& row) { return row.size() >= 3 && row[2] == "0"; }

std::string recordTables(const SaveModel& model, std::initializer_list<TableKind> kinds) {
  std::string html;
  for (TableKind kind : kinds) {
    const RecordTable* table = model.table(kind);
    if (!table) continue;
    html += "<h3>" + esc(table->title) + "</h3><p class=\"source\">" + esc(table->source) + "</p>\n";
    if (!table->note.empty()) html += "<p class=\"note\">" + esc(table->note) + "</p>\n";
    if (kind == TableKind::SettingParameters && table->columns.size() == 3 && table->columns[1] == "Address") {
      // The memory image as saved: words of value 0 are left out, as the workbook does.
      std::vector<std::vector<std::string>> rows;
      for (const auto& row : table->rows)
        if (!isZeroWord(row)) rows.push_back(row);
      html += "<p class=\"note\">" + std::to_string(table->rows.size() - rows.size()) +
              " words of value 0 not listed.</p>" + htmlTable(table->columns, rows);
    } else {
      html += htmlTable(table->columns, table->rows);
    }
  }
  return html;
}

std::string recordSection(const SaveModel& model) {
  const std::string html =
      recordTables(model, {TableKind::TroubleRecords, TableKind::EventCounters, TableKind::DriveStatus, TableKind::OtherBanks});
  if (html.empty()) return html;
  return "<section class=\"records\"><h2>Records</h2>\n" + html + "</section>\n";
}

// Thousands of rows: closed, and printed only when opened.
std::string settingSection(const SaveModel& model, bool open) {
  const std::string html = recordTables(model, {TableKind::SettingParameters, TableKind::SettingTexts});
  if (html.empty()) return html;
  std::size_t rows = 0;
  for (TableKind kind : {TableKind::SettingParameters, TableKind::SettingTexts})
    if (const RecordTable* table = model.table(kind)) rows += table->rows.size();
  return std::string("<details class=\"settings\"") + (open ? " open" : "") + "><summary>Setting parameters (" +
         std::to_string(rows) + " rows; printed only when opened)</summary>\n" + html + "</details>\n";
}

}  // namespace

std::string ReportHtml(const SaveModel& model, const ReportOptions& options) {
  const std::string title = "Drive save " + model.name;
  std::string html = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n<title>" + esc(title) +
                     "</title>\n<style>" + kStyle + "</style></head><body>\n";
  html += "<h1>" + esc(model.drive.panelName.empty() ? title : model.drive.panelName + ": " + model.drive.driveType) +
          "</h1><p class=\"source\">" + esc(model.name) + "</p>\n";
  for (const std::string& gap : model.gaps) html += "<p class=\"gap\">" + esc(gap) + "</p>\n";
  html += summarySection(model, options.secondsPerSampling);
  const double width = cellWidth(model);
  for (std::size_t i = 0; i < model.banks.size(); ++i)
    html += bankSection(model.banks[i], i, width, options.secondsPerSampling);
  html += recordSection(model);
  html += settingSection(model, options.full);
  return html + "</body></html>\n";
}

void WriteReport(const SaveModel& model, const std::filesystem::path& file, const ReportOptions& options) {
  WriteFileComplete(file, ReportHtml(model, options));
}

}  // namespace quillon::view
