#include "quillon/plant/scan_command.h"

#include <cstdio>
#include <ostream>

#include "quillon/convert/save_folder_files.h"
#include "quillon/view/listing_text.h"

namespace quillon {
namespace {

using view::JsonOrNull;
using view::JsonString;

std::string orderNumber(const DriveIdentity& identity) {
  return TrimBlanks(identity.OrderNumber1 + identity.OrderNumber2);
}

std::string secondsText(std::chrono::milliseconds span) {
  char text[32];
  std::snprintf(text, sizeof text, "%g s", static_cast<double>(span.count()) / 1000);
  return text;
}

std::string askedText(const std::vector<ScanTarget>& asked) {
  std::string text;
  for (const ScanTarget& target : asked) {
    text += "\n  " + target.address;
    if (!target.adapter.empty()) text += " (adapter " + target.adapter + ")";
    if (!target.problem.empty()) text += ": " + target.problem;
  }
  return text;
}

}  // namespace

std::string ScanTable(const std::vector<FoundDrive>& drives) {
  std::vector<std::vector<std::string>> rows{
      {"Address", "Drive type", "Software", "Interface", "Panel name", "Banks", "Database", "Note"}};
  for (const FoundDrive& d : drives) {
    const std::string banks = d.recordedBanks.empty() ? "none" : view::Joined(d.recordedBanks, ",");
    rows.push_back({d.at.text(), TrimBlanks(d.identity.DriveType),
                    TrimBlanks(d.identity.DriveSoftVersion), TrimBlanks(d.identity.InterfaceVersionText),
                    TrimBlanks(d.identity.PanelName), d.note.empty() ? banks : "?", d.driveDatabase ? "installed" : "none",
                    d.note});
  }
  return view::AlignedColumns(rows);
}

std::string ScanJson(const std::vector<FoundDrive>& drives) {
  std::string json = "[";
  for (const FoundDrive& d : drives) {
    const std::optional<std::string> database =
        d.driveDatabase ? std::optional<std::string>(d.driveDatabase->string()) : std::nullopt;
    json += std::string(json.size() > 1 ? "," : "") + "\n  {\"address\": " + JsonString(d.at.address) +
            ", \"port\": " + std::to_string(d.at.port) + ", \"driveType\": " + JsonString(TrimBlanks(d.identity.DriveType)) +
            ", \"softwareVersion\": " + JsonString(TrimBlanks(d.identity.DriveSoftVersion)) +
            ", \"interfaceVersion\": " + JsonString(TrimBlanks(d.identity.InterfaceVersionText)) +
            ", \"panelName\": " + JsonString(TrimBlanks(d.identity.PanelName)) +
            ", \"orderNumber\": " + JsonString(orderNumber(d.identity)) + ", \"recordedBanks\": [" +
            view::Joined(d.recordedBanks, ", ") + "], \"driveDatabase\": " + JsonOrNull(database);
    if (!d.note.empty()) json += ", \"note\": " + JsonString(d.note);
    json += "}";
  }
  return json + (drives.empty() ? "]\n" : "\n]\n");
}

int RunScanCommand(const ScanOptions& options, bool json, std::ostream& out, std::ostream& err) {
  const ScanResult result = ScanForDrives(options);
  if (!result.error.empty()) {
    err << "quillon: the scan could not start: " << result.error << "\n";
    return kScanFoundNone;
  }
  out << (json ? ScanJson(result.drives) : result.drives.empty() ? std::string() : ScanTable(result.drives));
  if (!result.drives.empty()) return kScanFoundDrives;
  err << "No drive answered \"QT\" within " << secondsText(options.wait) << ". Asked:" << askedText(result.asked) << "\n";
  return kScanFoundNone;
}

}  // namespace quillon
