#include "quillon/plant/plant_table.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace quillon {
namespace {

constexpr std::size_t kColumns = 5;
using Row = std::array<std::string, kColumns>;

std::string seconds(std::chrono::milliseconds duration) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(duration.count()) / 1000.0);
  return text;
}

}  // namespace

std::string DriveColumn(const PlantDrive& d) {
  return d.port == kDrivePort ? d.address : d.address + ":" + std::to_string(d.port);
}

std::string ResultWord(RunOutcome outcome) {
  switch (outcome) {
    case RunOutcome::Completed: return "Completed";
    case RunOutcome::Failed: return "Error";
    case RunOutcome::Cancelled: return "Cancelled";
    case RunOutcome::NotRun: break;
  }
  return "Not run";
}

std::string PlantResultTable(const std::vector<DriveResult>& results) {
  std::vector<Row> rows{{"Drive", "Panel name", "Result", "Data", "Duration"}};
  for (const DriveResult& r : results)
    rows.push_back({DriveColumn(r.drive), r.panelName.empty() ? "-" : r.panelName, ResultWord(r.outcome),
                    r.location.empty() ? "-" : r.location.string(), seconds(r.duration)});
  std::array<std::size_t, kColumns> widths{};
  for (const Row& row : rows)
    for (std::size_t c = 0; c < kColumns; ++c) widths[c] = std::max(widths[c], row[c].size());
  std::string table;
  for (const Row& row : rows) {
    std::string line;
    for (std::size_t c = 0; c < kColumns; ++c) {
      line += row[c];
      if (c + 1 < kColumns) line += std::string(widths[c] - row[c].size() + 2, ' ');
    }
    table += line + "\n";
  }
  return table;
}

}  // namespace quillon
