#pragma once
// A save as one self-contained HTML page (no outside files, scripts or fonts): a summary first
// (the drive, each bank with its fault time, its faults in order and a plot), then each bank
// with its faults, groups and signals as inline SVG small multiples with the fault marked, and
// the record tables; the setting parameters in a closed section. Laid out for A4 when printed.
#include <filesystem>
#include <optional>
#include <string>

#include "quillon/view/save_model.h"

namespace quillon::view {

struct ReportOptions {
  std::optional<double> secondsPerSampling;  // what one sampling value means in time, where known
  bool full = false;                         // the setting parameters open, so that they print
};

std::string ReportHtml(const SaveModel& model, const ReportOptions& options = {});

// Through a temporary name, so that only a complete page carries the name; throws ExportError.
void WriteReport(const SaveModel& model, const std::filesystem::path& file, const ReportOptions& options = {});

}  // namespace quillon::view
