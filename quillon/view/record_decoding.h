#pragma once
// The record tables as an engineer reads them, for the report and the viewer alike: trouble
// records newest first with their fault names, event counters by name with value and unit,
// status bits named, setting parameters with long name and the unit of their display form,
// texts without the "@NULL" placeholder. A save converted without its drive database keeps the
// drive's values, with a note that names need that database.
#include "quillon/view/save_diff.h"
#include "quillon/view/save_model.h"

namespace quillon::view {

// `longNames`: setting-parameter symbol to long name, empty where no drive database is found.
SaveModel WithDecodedRecords(const SaveModel& model, const SettingNames& longNames);

// The unit a setting's display form stands for: "(%)(16384)" is "%", a plain "(D)" or hex
// "(H)" number has none.
std::string SettingUnit(const std::string& displayForm);

}  // namespace quillon::view
