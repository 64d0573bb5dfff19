#pragma once
// The window's rows of a save of several drives, one per drive: the end table's columns and
// the progress. The runs tell their events on their own threads; the window takes them on its
// own thread only, queued there.
#include <functional>
#include <memory>
#include <string>

#include "quillon/plant/plant_runner.h"

class QObject;

namespace quillon {

struct DriveRow {
  std::string drive;             // its address, ":PORT" when not the drive's own port
  std::string panelName = "-";   // until the drive told it
  int percent = 0;               // of its progress bar
  std::string result = "Waiting";
  std::string data = "-";        // where its data is
  std::string message;           // why it did not complete
};

// A row as a drive's end leaves it.
void EndRow(DriveRow& row, const DriveResult& result);

// Hands the runs' calls on to `target`, each on the thread that made this object, in order.
class QueuedPlantEvents : public PlantEvents {
 public:
  explicit QueuedPlantEvents(PlantEvents& target);
  ~QueuedPlantEvents() override;

  void driveIdentified(std::size_t drive, const DriveResult& result) override;
  void driveEvent(std::size_t drive, const RunEvent& event) override;
  void driveFinished(std::size_t drive, const DriveResult& result) override;
  // On the target's thread, once the runs have ended: what is still queued, handed on now.
  void deliverPending();

 private:
  void post(std::function<void()> call);
  PlantEvents& target_;
  std::unique_ptr<QObject> receiver_;
};

}  // namespace quillon
