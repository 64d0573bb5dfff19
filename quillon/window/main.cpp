// quillon: saves a drive's data over UDP. With a window by default; --headless runs the save
// run at once and reports on the terminal. What is built here depends on what came before it:
// the exchange on the (simulated) drive's address, the run context on the exchange, the window
// on the run context, the Qt window or the terminal printer on the window.
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QProcess>
#include <QStringList>
#include <QThread>
#include <cmath>
#include <iostream>
#include <memory>

#include "drivesim/simulated_drive.h"
#include "platform/shell/documents_folder.h"
#include "platform/shell/install_layout.h"
#include "platform/shell/message_box.h"
#include "platform/shell/open_folder.h"
#include "quillon/live_exchange/velkor_exchange.h"
#include "quillon/live_exchange/velkor_module_location.h"
#include "quillon/convert/save_folder_files.h"
#include "quillon/plant/plant_table.h"
#include "quillon/plant/scan_command.h"
#include "quillon/run/program_version.h"
#include "quillon/run/run_context.h"
#include "quillon/window/command_line.h"
#include "quillon/window/headless_printer.h"
#include "quillon/window/interrupt_as_cancel.h"
#include "quillon/window/main_window.h"
#include "quillon/window/main_window_widget.h"
#include "quillon/window/plant_printer.h"
#include "quillon/plant/watch_command.h"
#include "quillon/view/view_command.h"

namespace {
using namespace quillon;

// After the first answer to a save's broadcast, how long other drives may still answer.
constexpr std::chrono::milliseconds kBroadcastSaveWait{500};

std::filesystem::path templateFolder() {
  const std::filesystem::path program = platform::shell::RunningProgram();
  return platform::shell::TemplateFolderOf(program).value_or(program.parent_path());
}

std::string versionText() {
  std::string text = "quillon " + ProgramVersionText() + "\n";
  std::string why;
  if (const auto module = FindVelkorModuleVersion(why))
    text += "Velkor control module " + module->version + " (" + module->module + ")\n";
  else
    text += "Velkor control module: " + why + "\n";
  return text;
}

// True when both descriptors write to one terminal, pipe or file (as with 2>&1).
bool sameOpenFile(int a, int b) {
  struct stat first {}, second {};
  return ::fstat(a, &first) == 0 && ::fstat(b, &second) == 0 && first.st_dev == second.st_dev &&
         first.st_ino == second.st_ino;
}

int exitStatusOf(RunOutcome outcome) {
  switch (outcome) {
    case RunOutcome::Completed: return kExitCompleted;
    case RunOutcome::Cancelled: return kExitCancelled;
    default: return kExitError;
  }
}

// A start-up failure goes to the terminal, and with a window also into a message box: a program
// started from the desktop menu has no terminal to read.
int startUpFailure(const LaunchOptions& options, const std::string& why) {
  std::cerr << "quillon: " << why << "\n";
  if (!options.headless) platform::shell::QtMessageBoxes(WindowCaption()).showError(why);
  return kExitError;
}

int usageError(const std::string& why) {
  std::cerr << "quillon: " << why << "\nTry 'quillon --help'.\n";
  return kExitUsage;
}

// --simulate: the simulated drive in this process, on 127.0.0.1 only, with its database
// archive stored so that "DB Load" has one to get; it speaks the run's code page.
std::unique_ptr<drivesim::SimulatedDrive> startSimulatedDrive(const LaunchOptions& options, drivesim::DriveOptions drive,
                                                               const std::string& address, std::string& error) {
  drive.codePage = options.codePage.name();
  auto simulated = std::make_unique<drivesim::SimulatedDrive>(drivesim::DriveProfile{drive});
  drivesim::DriveEndpoint endpoint;
  endpoint.address = address;
  endpoint.port = options.destPortGiven ? options.destPort : 0;
  if (!simulated->start(endpoint, error)) return nullptr;
  return simulated;
}

std::unique_ptr<drivesim::SimulatedDrive> startSimulatedDrive(const LaunchOptions& options, std::string& error) {
  drivesim::DriveOptions drive = drivesim::WithStoredDatabase();
  if (options.simulatedDriveType) drive.driveType = *options.simulatedDriveType;
  return startSimulatedDrive(options, std::move(drive), drivesim::kDefaultAddress, error);
}

// --simulate-count N: N simulated drives, each on a loopback address of its own, of different
// types, with the panel names LINE/1 to LINE/N.
std::vector<std::unique_ptr<drivesim::SimulatedDrive>> startSimulatedPlant(const LaunchOptions& options,
                                                                           std::vector<PlantDrive>& drives,
                                                                           std::string& error) {
  std::vector<std::unique_ptr<drivesim::SimulatedDrive>> plant;
  for (int number = 1; number <= options.simulateCount; ++number) {
    const std::string address = drivesim::PlantDriveAddress(number);
    auto simulated = startSimulatedDrive(
        options, drivesim::PlantDriveOptions(number, drivesim::WithStoredDatabase()), address, error);
    if (!simulated) {
      error = address + ": " + error;
      return {};
    }
    drives.push_back({address, simulated->port()});
    plant.push_back(std::move(simulated));
  }
  return plant;
}

// Several drives: what their runs share; each runs into its own program folder.
PlantPlan plantPlanOf(const LaunchOptions& options, std::vector<PlantDrive> drives) {
  PlantPlan plan;
  plan.drives = std::move(drives);
  plan.jobs = options.jobs;
  plan.documents = platform::shell::DocumentsFolder(options.documents);
  plan.templateFolder = templateFolder();
  plan.installRoot = options.installRoot.value_or("/opt");
  plan.switches = options.switches;
  plan.codePage = options.codePage;
  plan.dbLoad = options.dbLoad;
  return plan;
}

// Several drives: a run of its own for each, side by side, each into its own program folder.
int runPlantHeadless(const LaunchOptions& options, std::vector<PlantDrive> drives) {
  const PlantPlan plan = plantPlanOf(options, std::move(drives));
  PlantPrinter printer(plan.drives, std::cout);
  PlantRunner runner(plan, printer);
  InterruptAsCancel interrupt([&runner] { runner.cancelAll(); });
  const std::vector<DriveResult> results = runner.run();
  printer.printTable(results);
  return PlantExitStatus(results);
}

std::chrono::milliseconds waitOf(const LaunchOptions& options, std::chrono::milliseconds otherwise) {
  if (!options.waitSeconds) return otherwise;
  return std::chrono::milliseconds(std::lround(*options.waitSeconds * 1000));
}

// What every scan asks with: `quillon scan`, the Scan button and --all. `everyDrive`: the scan
// looks for all drives, not only the one the command line names.
ScanOptions scanOptionsOf(const LaunchOptions& options, bool everyDrive = false) {
  ScanOptions scan;
  if (!everyDrive && options.destIp != kDefaultDestIp) scan.drive = options.destIp;
  scan.drivePort = options.destPort;
  scan.wait = waitOf(options, kScanWait);
  scan.codePage = options.codePage;
  scan.databases = RunFolders::InDocuments(platform::shell::DocumentsFolder(options.documents), templateFolder(),
                                           options.installRoot.value_or("/opt"))
                       .search();
  return scan;
}

int runScan(int argc, char** argv, const LaunchOptions& options) {
  QCoreApplication app(argc, argv);
  return RunScanCommand(scanOptionsOf(options), options.json, std::cout, std::cerr);
}

// The Scan button: the scan on a thread of its own with its own event loop, the drives handed
// back to the window's thread.
void scanOffTheWindowThread(const LaunchOptions& options, DrivesFound done) {
  const ScanOptions scan = scanOptionsOf(options, /*everyDrive=*/true);  // not only the one started with
  QThread* worker = QThread::create([scan, done = std::move(done)] {
    std::vector<DriveChoice> drives;
    for (const FoundDrive& d : ScanForDrives(scan).drives)
      drives.push_back({d.at.address, d.at.address + "  " + TrimBlanks(d.identity.DriveType) + "  " +
                                          TrimBlanks(d.identity.PanelName) + (d.note.empty() ? "" : "  (" + d.note + ")")});
    QMetaObject::invokeMethod(qApp, [done, drives] { done(drives); }, Qt::QueuedConnection);
  });
  QObject::connect(worker, &QThread::finished, worker, &QObject::deleteLater);
  worker->start();
}

int runHeadless(RunContext& run, const LaunchOptions& options, const std::string& startAddress) {
  platform::shell::TerminalMessageBoxes messages(std::cout, options.answerYes);
  // The closing message shows on the output stream in any case; the error stream repeats it
  // for whoever reads that stream apart, not a second time on the same terminal or pipe.
  std::ostream discarded(nullptr);
  std::ostream& closing = sameOpenFile(STDOUT_FILENO, STDERR_FILENO) ? discarded : std::cerr;
  HeadlessPrinter printer(run.events, std::cout, closing, ::isatty(STDOUT_FILENO) == 1);
  MainWindow window(run, {&messages, platform::shell::OpenFolderInFileManager, [] { QCoreApplication::quit(); }, {}, {}, {}});
  window.setDbLoad(options.dbLoad);
  window.startWithDrive(startAddress);
  if (const std::string failure = window.startUp(); !failure.empty()) {
    std::cerr << "quillon: " << failure << "\n";
    return kExitError;
  }
  InterruptAsCancel interrupt([&window] { window.clickCancel(); });
  window.clickStart();  // the waits inside run the event loop
  return exitStatusOf(window.lastOutcome());
}

// "View": the viewer as a program of its own, so that it outlives this window and a save it
// cannot read never ends the saver.
bool openViewer(const std::filesystem::path& save, const LaunchOptions& options) {
  const QStringList arguments{QStringLiteral("view"), QString::fromStdString(save.string()), QStringLiteral("--codepage"),
                              QString::fromStdString(options.codePage.name())};
  return QProcess::startDetached(QString::fromStdString(platform::shell::RunningProgram().string()), arguments);
}

// `picked`: the drives of the command line, ticked (with --all: those a scan finds at once).
int runWindow(RunContext& run, const LaunchOptions& options, const std::string& startAddress,
              const std::vector<PlantDrive>& picked) {
  platform::shell::QtMessageBoxes messages(WindowCaption());
  MainWindow window(run, {&messages, platform::shell::OpenFolderInFileManager, [] { QCoreApplication::quit(); },
                          [&options](const std::filesystem::path& save) { return openViewer(save, options); },
                          [&options](DrivesFound done) { scanOffTheWindowThread(options, std::move(done)); },
                          [&options](std::vector<PlantDrive> drives) { return plantPlanOf(options, std::move(drives)); }});
  window.setDbLoad(options.dbLoad);
  window.startWithDrive(startAddress);
  std::vector<DriveChoice> choices;
  for (const PlantDrive& drive : picked) choices.push_back({drive.address, DriveColumn(drive), drive.port});
  window.startWithDrives(std::move(choices));
  MainWindowWidget widget(window);
  if (const std::string failure = window.startUp(); !failure.empty()) return startUpFailure(options, failure);
  if (options.all) window.startWithEveryScannedDrive();
  widget.show();
  return QCoreApplication::exec();
}

}  // namespace

int main(int argc, char** argv) {
  if (auto status = quillon::plant::RunWatchCommand(argc, argv, templateFolder())) return *status;
  if (auto status = quillon::view::RunViewCommand(argc, argv)) return *status;  // view, report, export
  const LaunchParse parsed = ParseLaunchOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.usageError.empty()) return usageError(parsed.usageError);
  const LaunchOptions& options = parsed.options;
  if (options.showHelp) {
    std::cout << UsageText();
    return kExitCompleted;
  }
  if (options.showVersion) {
    std::cout << versionText();
    return kExitCompleted;
  }
  if (options.scan) return runScan(argc, argv, options);

  std::unique_ptr<QCoreApplication> app;
  if (options.headless) app = std::make_unique<QCoreApplication>(argc, argv);
  else app = std::make_unique<QApplication>(argc, argv);

  std::string error;
  std::vector<PlantDrive> several;  // saved side by side
  if (options.drives.size() > 1)
    for (const std::string& address : options.drives) several.push_back({address, options.destPort});
  std::vector<std::unique_ptr<drivesim::SimulatedDrive>> plant;
  if (options.simulate && options.simulateCount > 1) {
    plant = startSimulatedPlant(options, several, error);
    if (plant.empty()) return startUpFailure(options, "the simulated drives did not start: " + error);
  }
  if (options.headless && options.all) {
    const ScanResult found = ScanForDrives(scanOptionsOf(options, /*everyDrive=*/true));
    for (const FoundDrive& d : found.drives) several.push_back({d.at.address, d.at.port});
    if (several.empty())
      return startUpFailure(options, "no drive answered the scan" + (found.error.empty() ? "" : ": " + found.error));
  }
  if (options.headless && !several.empty()) return runPlantHeadless(options, std::move(several));

  // The window: its exchange for one drive, aimed at a simulated one where there is one.
  std::unique_ptr<drivesim::SimulatedDrive> simulated;
  std::string destIp = options.destIp;
  std::uint16_t destPort = options.destPort;
  if (!plant.empty()) {
    destIp = several.front().address;
    destPort = several.front().port;
  } else if (options.simulate) {
    simulated = startSimulatedDrive(options, error);
    if (!simulated) return startUpFailure(options, "the simulated drive did not start: " + error);
    destIp = drivesim::kDefaultAddress;
    destPort = simulated->port();
  }
  const std::unique_ptr<VelkorExchange> exchange = OpenVelkorExchange(destIp, destPort, options.myPort, options.codePage, error);
  if (!exchange) return startUpFailure(options, error);

  RunContext run(*exchange,
                 RunFolders::InDocuments(platform::shell::DocumentsFolder(options.documents), templateFolder(),
                                         options.installRoot.value_or("/opt")),
                 options.switches);
  run.broadcastWait = waitOf(options, kBroadcastSaveWait);
  const std::string startAddress = destIp == kDefaultDestIp ? std::string() : destIp;
  return options.headless ? runHeadless(run, options, startAddress) : runWindow(run, options, startAddress, several);
}
