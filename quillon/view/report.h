#pragma once
// A save as one self-contained HTML page (no outside files, scripts or fonts): the drive's
// identity and ratings, each bank with its faults, groups and its signals as inline SVG small
// multiples with the fault marked, and the record tables. Laid out for A4 when printed.
#include <filesystem>
#include <optional>
#include <string>

#include "quillon/view/save_model.h"

namespace quillon::view {

// `secondsPerSampling`: what one sampling value means in time, where the user knows it.
std::string ReportHtml(const SaveModel& model, std::optional<double> secondsPerSampling = std::nullopt);

// Through a temporary name, so that only a complete page carries the name; throws ExportError.
void WriteReport(const SaveModel& model, const std::filesystem::path& file,
                 std::optional<double> secondsPerSampling = std::nullopt);

}  // namespace quillon::view
