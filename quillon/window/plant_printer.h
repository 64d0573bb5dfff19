#pragma once
// What a headless save of several drives shows: each drive's lines as a headless run of one
// drive prints them (into a file's form, no live lines: several drives share the terminal),
// each prefixed with its drive, "[192.0.2.11 LINE/1] Bank 2 (2 of 3)"; then the end table.
#include <iosfwd>
#include <memory>
#include <vector>

#include "quillon/plant/plant_runner.h"

namespace quillon {

class PlantPrinter : public PlantEvents {
 public:
  PlantPrinter(const std::vector<PlantDrive>& drives, std::ostream& out);
  ~PlantPrinter() override;

  void driveIdentified(std::size_t drive, const DriveResult& result) override;
  void driveEvent(std::size_t drive, const RunEvent& event) override;
  // The table, after the last drive.
  void printTable(const std::vector<DriveResult>& results);

 private:
  struct DriveLines;
  std::ostream& out_;
  std::vector<std::unique_ptr<DriveLines>> drives_;
};

}  // namespace quillon
