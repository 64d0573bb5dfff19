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
@page { size: A4; margin: 12mm; }
@media print {
  body { margin: 0; font-size: 9pt; }
  section.bank, section.records { break-before: page; }
  h2, h3 { break-after: avoid; }
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

std::string identitySection(const SaveModel& model) {
  std::string html = "<section><h2>Drive</h2><table><tbody>\n";
  for (const LabelledText& row : DriveInfoRows(model.drive))
    html += "<tr><th>" + esc(row.label) + "</th><td>" + esc(row.text) + "</td></tr>\n";
  html += "</tbody></table>\n";
  if (!model.banks.empty()) {
    std::vector<std::vector<std::string>> rows;
    for (const Bank& bank : model.banks)
      rows.push_back({bank.number ? std::to_string(*bank.number) : "", bank.faultTime, bank.faultSummary(),
                      std::to_string(bank.signals.size()), std::to_string(bank.rows), bank.source});
    html += "<h3>Banks</h3>" + htmlTable({"Bank", "Fault time", "Faults", "Signals", "Samples", "Saved as"}, rows);
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
  request.compact = true;
  const std::string svg = SceneToSvg(BuildPlotScene(request), {0, true, false});
  return "<div class=\"cell\">" + signalCaption(bank.signals[index]) + svg + signalFigures(bank, bank.signals[index]) +
         "</div>\n";
}

std::string bankSection(const Bank& bank, double width, std::optional<double> secondsPerSampling) {
  const std::string heading = bank.number ? bank.title() + " \xE2\x80\x94 " + bank.faultTime : bank.title();
  std::string html = "<section class=\"bank\"><h2>" + esc(heading) +
                     (bank.faults.empty() ? "" : " \xE2\x80\x94 " + esc(bank.faultSummary())) + "</h2>\n";
  html += "<p class=\"source\">" + esc(bank.source) +
          (bank.softVersion.empty() ? "" : ", firmware " + esc(bank.softVersion)) +
          (bank.rawSamples ? ", samples as the drive sent them (no drive database)" : "") + "</p>\n";
  std::vector<std::vector<std::string>> faults;
  for (const Fault& f : bank.faults)
    faults.push_back({std::to_string(f.entry), f.code, f.name, f.explanation,
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

std::string recordSection(const SaveModel& model) {
  std::string html;
  for (TableKind kind : {TableKind::TroubleRecords, TableKind::EventCounters, TableKind::DriveStatus,
                         TableKind::SettingParameters, TableKind::SettingTexts, TableKind::OtherBanks}) {
    const RecordTable* table = model.table(kind);
    if (!table) continue;
    html += "<h3>" + esc(table->title) + "</h3><p class=\"source\">" + esc(table->source) + "</p>\n";
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
  if (html.empty()) return html;
  return "<section class=\"records\"><h2>Records</h2>\n" + html + "</section>\n";
}

}  // namespace

std::string ReportHtml(const SaveModel& model, std::optional<double> secondsPerSampling) {
  const std::string title = "Drive save " + model.name;
  std::string html = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n<title>" + esc(title) +
                     "</title>\n<style>" + kStyle + "</style></head><body>\n";
  html += "<h1>" + esc(model.drive.panelName.empty() ? title : model.drive.panelName + ": " + model.drive.driveType) +
          "</h1><p class=\"source\">" + esc(model.name) + "</p>\n";
  html += identitySection(model);
  const double width = cellWidth(model);
  for (const Bank& bank : model.banks) html += bankSection(bank, width, secondsPerSampling);
  html += recordSection(model);
  return html + "</body></html>\n";
}

void WriteReport(const SaveModel& model, const std::filesystem::path& file, std::optional<double> secondsPerSampling) {
  WriteFileComplete(file, ReportHtml(model, secondsPerSampling));
}

}  // namespace quillon::view
