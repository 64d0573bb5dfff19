// "DB Load": the drive database download on the save run's hook. The routine keeps its own
// progress remainder; the bar, `Label10` and the message boxes are the window's.
#include <memory>

#include "platform/shell/message_box.h"
#include "quillon/requests/drive_database_download.h"
#include "quillon/window/main_window.h"
#include "quillon/window/program_parts.h"

namespace quillon {
namespace {

struct BoundDownload {
  BoundDownload(MainWindow& window, Exchange& exchange, ProgressBar progress, UnlhaEntry unlha,
                platform_shell::MessageBoxes* messages)
      : routine(exchange, std::move(progress), ProgressAccumulator,
                DriveDatabaseDisplay{[&window](const std::string& caption) { window.controls.Label10.setCaption(caption); },
                                     [messages](const std::string& message) {
                                       if (messages) messages->showMessage(message);
                                     }},
                std::move(unlha), window.run.AppFolder) {}

  double ProgressAccumulator = 0;
  DriveDatabaseDownload routine;
};

}  // namespace

void BindReceiveDriveDatabase(MainWindow& window, Exchange& exchange, ProgressBar progress,
                              std::function<int(const std::string& command)> unlha,
                              platform_shell::MessageBoxes* messages, bool checked) {
  auto bound = std::make_shared<BoundDownload>(window, exchange, std::move(progress), std::move(unlha), messages);
  window.laterSteps.receiveDriveDatabase = [bound] { bound->routine.ReceiveDriveDatabase(); };
  if (checked) window.setDbLoad(true);
}

}  // namespace quillon
