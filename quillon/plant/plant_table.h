#pragma once
// The end of a save of several drives: one row per drive with its panel name, result, where
// its data is and how long it took.
#include <string>
#include <vector>

#include "quillon/plant/plant_runner.h"

namespace quillon {

// "Completed", "Error", "Cancelled", "Not run".
std::string ResultWord(RunOutcome outcome);
// How the Drive column names a drive: its address, with ":PORT" when not the drive's own port.
std::string DriveColumn(const PlantDrive& drive);
// Columns Drive, Panel name, Result, Data, Duration, aligned with blanks; lines end with "\n".
std::string PlantResultTable(const std::vector<DriveResult>& results);

}  // namespace quillon
