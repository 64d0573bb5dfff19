#include "quillon/window/drive_rows.h"

#include <QCoreApplication>
#include <QObject>

#include "quillon/plant/plant_table.h"

namespace quillon {

void EndRow(DriveRow& row, const DriveResult& result) {
  if (!result.panelName.empty()) row.panelName = result.panelName;
  if (result.outcome == RunOutcome::Completed) row.percent = 100;
  row.result = ResultWord(result.outcome);
  row.data = result.location.empty() ? "-" : result.location.string();
  row.message = result.message;
}

QueuedPlantEvents::QueuedPlantEvents(PlantEvents& target) : target_(target), receiver_(std::make_unique<QObject>()) {}

QueuedPlantEvents::~QueuedPlantEvents() = default;  // what is still queued goes with the receiver

void QueuedPlantEvents::post(std::function<void()> call) {
  QMetaObject::invokeMethod(receiver_.get(), std::move(call), Qt::QueuedConnection);
}

void QueuedPlantEvents::driveIdentified(std::size_t drive, const DriveResult& result) {
  post([this, drive, result] { target_.driveIdentified(drive, result); });
}

void QueuedPlantEvents::driveEvent(std::size_t drive, const RunEvent& event) {
  post([this, drive, event] { target_.driveEvent(drive, event); });
}

void QueuedPlantEvents::driveFinished(std::size_t drive, const DriveResult& result) {
  post([this, drive, result] { target_.driveFinished(drive, result); });
}

void QueuedPlantEvents::deliverPending() { QCoreApplication::sendPostedEvents(receiver_.get(), QEvent::MetaCall); }

}  // namespace quillon
