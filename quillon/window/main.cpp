// quillon: saves a drive's data over UDP. With a window by default; --headless runs the save
// run at once and reports on the terminal.
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <ctime>
#include <iostream>

#include "platform/shell/codepage.h"
#include "platform/shell/documents_folder.h"
#include "platform/shell/install_layout.h"
#include "platform/shell/message_box.h"
#include "platform/shell/open_folder.h"
#include "quillon/window/command_line.h"
#include "quillon/window/headless_printer.h"
#include "quillon/window/interrupt_as_cancel.h"
#include "quillon/window/main_window.h"
#include "quillon/window/main_window_widget.h"
#include "quillon/window/program_parts.h"
#include "quillon/view/view_command.h"

namespace {
using namespace quillon;

std::tm localNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local;
}

std::filesystem::path templateFolder() {
  const std::filesystem::path program = platform_shell::RunningProgram();
  return platform_shell::TemplateFolderOf(program).value_or(program.parent_path());
}

int exitStatusOf(RunOutcome outcome) {
  switch (outcome) {
    case RunOutcome::Completed: return kExitCompleted;
    case RunOutcome::Cancelled: return kExitCancelled;
    default: return kExitError;
  }
}

int usageError(const std::string& why) {
  std::cerr << "quillon: " << why << "\nTry 'quillon --help'.\n";
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  if (auto status = quillon::view::RunViewCommand(argc, argv)) return *status;  // view, report, export
  const LaunchParse parsed = ParseLaunchOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.usageError.empty()) return usageError(parsed.usageError);
  LaunchOptions options = parsed.options;
  if (options.showHelp) {
    std::cout << UsageText();
    return kExitCompleted;
  }
  if (options.codepage && !shell::setAnsiCodePage(*options.codepage))
    return usageError("unknown code page \"" + *options.codepage + "\"");

  std::unique_ptr<QCoreApplication> app;
  if (options.headless) app = std::make_unique<QCoreApplication>(argc, argv);
  else app = std::make_unique<QApplication>(argc, argv);

  std::string error;
  std::unique_ptr<SimulatedDriveRun> simulated;
  if (options.simulate) {
    simulated = StartSimulatedDrive(options.destPortGiven ? options.destPort : 0, options.simulatedDriveType, error);
    if (!simulated) {
      std::cerr << "quillon: the simulated drive did not start: " << error << "\n";
      return kExitError;
    }
    options.destIp = "127.0.0.1";
    options.destPort = simulated->port();
  }
  std::unique_ptr<Exchange> exchange = OpenLiveExchange(options.destIp, options.destPort, options.myPort, error);
  if (!exchange) {
    std::cerr << "quillon: " << error << "\n";
    return kExitError;
  }

  platform_shell::TerminalMessageBoxes terminalMessages(std::cout, options.answerYes);
  platform_shell::QtMessageBoxes windowMessages(WindowControls::kWindowCaption);
  WindowServices services;
  services.messages = options.headless ? static_cast<platform_shell::MessageBoxes*>(&terminalMessages)
                                       : &windowMessages;
  services.openFolder = platform_shell::OpenFolderInFileManager;
  services.now = localNow;
  services.unlha = RunUnlha;
  services.quitProgram = [] { QCoreApplication::quit(); };

  std::unique_ptr<MainWindow> window;
  const ProgressBar bar{[&] { return window->controls.shpBox.width(); },
                            [&] { return window->controls.shpScale.width(); },
                            [&](int width) { window->controls.shpScale.setWidth(width); }};
  const std::filesystem::path installRoot = options.installRoot.value_or("/opt");
  std::unique_ptr<DriveSteps> steps = MakeRequestSteps(*exchange, bar, [&] {
    return DriveStepsSettings{window->run.AppFolder, window->run.CommandLine, window->run.SafePanelName, installRoot,
                              templateFolder()};
  });
  window = std::make_unique<MainWindow>(*exchange, *steps, services);
  BindReceiveDriveDatabase(*window, *exchange, bar, RunUnlha, services.messages, options.dbLoad);
  [[maybe_unused]] const SaveRunTables runTables = BindRecordSteps(*window, *exchange, *steps);
  BindConvertSaveFolder(*window, *exchange, runTables, installRoot, templateFolder(), services.now);

  if (options.headless) {
    HeadlessPrinter printer(window->controls, std::cout, ::isatty(STDOUT_FILENO) == 1);
    window->controls.setObserver([&](const Control& c) { printer.controlChanged(c); });
    if (const std::string failure = window->startUp(platform_shell::DocumentsFolder(options.documents),
                                                    options.CommandLine);
        !failure.empty()) {
      std::cout << failure << "\n";
      return kExitError;
    }
    InterruptAsCancel interrupt([&] { window->clickCancel(); });
    window->clickStart();  // the waits inside run the event loop
    printer.finishProgressLine();
    return exitStatusOf(window->lastOutcome());
  }

  MainWindowWidget widget(window->controls, {[&] { window->clickStart(); }, [&] { window->clickCancel(); },
                                             [&] { window->clickExit(); }, [&](bool on) { window->setDbLoad(on); }});
  window->controls.setObserver([&](const Control& c) { widget.showControl(c); });
  if (const std::string failure = window->startUp(platform_shell::DocumentsFolder(options.documents),
                                                  options.CommandLine);
      !failure.empty()) {
    windowMessages.showMessage(failure);
    return kExitError;
  }
  widget.showAll();
  widget.show();
  return app->exec();
}
