#include "quillon/plant/watch_command.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <algorithm>
#include <charconv>
#include <fstream>
#include <iostream>
#include <sstream>

#include "platform/shell/documents_folder.h"
#include "quillon/plant/drive_finder.h"
#include "quillon/plant/drive_watch.h"

namespace quillon::plant {

namespace {

constexpr int kWatchStopped = 0, kWatchUsage = 64;
constexpr long kLongestInterval = 24 * 3600;
// A stop ends every save within this time (the rest of the 5 s a service manager is promised).
constexpr std::chrono::milliseconds kStopDeadline{4500};

std::optional<long> wholeNumber(const std::string& text, long lowest, long highest) {
  long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < lowest || value > highest) return std::nullopt;
  return value;
}

// HOST or HOST:PORT.
std::optional<DriveAddress> driveAddress(const std::string& text, std::uint16_t defaultPort) {
  DriveAddress drive{text, defaultPort};
  if (const std::size_t colon = text.rfind(':'); colon != std::string::npos) {
    const auto port = wholeNumber(text.substr(colon + 1), 1, 65535);
    if (!port) return std::nullopt;
    drive = {text.substr(0, colon), static_cast<std::uint16_t>(*port)};
  }
  if (drive.address.empty()) return std::nullopt;
  return drive;
}

struct Parser {
  WatchCommand& c;
  bool drivesGiven = false;  // by this source: a command line's drives replace the file's

  std::string addDrive(const std::string& text) {
    if (!drivesGiven) c.drives.clear(), c.all = false;
    drivesGiven = true;
    const auto drive = driveAddress(text, kDrivePort);
    if (!drive) return "--drive needs ADDRESS or ADDRESS:PORT (port 1-65535), not \"" + text + "\"";
    const bool known = std::any_of(c.drives.begin(), c.drives.end(), [&](const DriveAddress& d) { return d.text() == drive->text(); });
    if (!known) c.drives.push_back(*drive);
    return {};
  }

  // One option with its value, if it takes one; `value` is null when none is left.
  std::string apply(const std::string& option, const std::string* value, bool& tookValue) {
    tookValue = false;
    auto needs = [&](const std::string& what) { return option + " needs " + what; };
    if (option == "--help" || option == "-h") return c.help = true, std::string();
    if (option == "--all") {
      if (!drivesGiven) c.drives.clear();
      drivesGiven = true;
      c.all = true;
      return {};
    }
    if (option == "--no-first-save") return c.firstSave = false, std::string();
    if (option == "--json") return c.json = true, std::string();
    const bool takesValue = option == "--drive" || option == "--every" || option == "--documents" ||
                            option == "--install-root" || option == "--codepage" || option == "--config";
    if (!takesValue) return "unknown option " + option;
    if (!value) return needs("a value");
    tookValue = true;
    if (option == "--drive") return addDrive(*value);
    if (option == "--every") {
      const auto seconds = wholeNumber(*value, 1, kLongestInterval);
      if (!seconds) return needs("whole seconds from 1 to 86400, not \"" + *value + "\"");
      c.every = std::chrono::seconds(*seconds);
    } else if (option == "--documents") {
      c.documents = *value;
    } else if (option == "--install-root") {
      c.installRoot = *value;
    } else if (option == "--codepage") {
      std::string why;
      auto page = platform::shell::CodePage::Named(*value, &why);
      if (!page) return "--codepage: " + why;
      c.codePage = std::move(*page);
    }
    return {};
  }

  std::string parse(const std::vector<std::string>& words, std::size_t from) {
    for (std::size_t i = from; i < words.size(); ++i) {
      bool tookValue = false;
      const std::string* value = i + 1 < words.size() ? &words[i + 1] : nullptr;
      if (const std::string error = apply(words[i], value, tookValue); !error.empty()) return error;
      if (tookValue) ++i;
    }
    return {};
  }
};

std::string trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// The settings file as the options it stands for: "drives = A B" or "drives = all", "every = N",
// "documents = DIR", "install-root = DIR", "codepage = NAME", "first-save = no", "json = yes".
std::string readConfig(const std::filesystem::path& file, std::vector<std::string>& words) {
  std::ifstream in(file);
  if (!in) return "cannot read the settings file " + file.string();
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    line = trimmed(line.substr(0, line.find('#')));
    if (line.empty()) continue;
    const std::size_t equals = line.find('=');
    const std::string key = trimmed(line.substr(0, equals)), value = equals == std::string::npos ? "" : trimmed(line.substr(equals + 1));
    const std::string where = file.string() + ":" + std::to_string(number) + ": ";
    if (equals == std::string::npos || value.empty()) return where + "a setting is \"name = value\"";
    if (key == "drives") {
      std::istringstream list(value);
      for (std::string drive; list >> drive;) {
        if (drive == "all") words.push_back("--all");
        else words.insert(words.end(), {"--drive", drive});
      }
    } else if (key == "every" || key == "documents" || key == "install-root" || key == "codepage") {
      words.insert(words.end(), {"--" + key, value});
    } else if (key == "first-save" || key == "json") {
      if (value != "yes" && value != "no") return where + key + " is yes or no";
      if (key == "first-save" && value == "no") words.push_back("--no-first-save");
      if (key == "json" && value == "yes") words.push_back("--json");
    } else {
      return where + "unknown setting \"" + key + "\"";
    }
  }
  return {};
}

WatchEvent noticeOf(std::string text) {
  WatchEvent e;
  e.text = std::move(text);
  return e;
}

int usageError(const std::string& why) {
  std::cerr << "quillon watch: " << why << "\nTry 'quillon watch --help'.\n";
  return kWatchUsage;
}

// SIGTERM and SIGINT as a readable descriptor, taken by the event loop; blocked in every thread
// (the drives' threads start after this).
int stopSignalDescriptor() {
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTERM);
  sigaddset(&stop, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);
  return ::signalfd(-1, &stop, SFD_CLOEXEC | SFD_NONBLOCK);
}

}  // namespace

WatchParse ParseWatchCommand(const std::vector<std::string>& args) {
  WatchParse result;
  if (args.empty() || args[0] != "watch") return result;
  result.isWatchCommand = true;
  WatchCommand& c = result.command;
  // The settings file first, wherever --config stands.
  for (std::size_t i = 1; i + 1 < args.size(); ++i) {
    if (args[i] != "--config") continue;
    std::vector<std::string> words;
    if (std::string error = readConfig(args[i + 1], words); !error.empty()) return result.usageError = error, result;
    if (std::string error = Parser{c}.parse(words, 0); !error.empty()) return result.usageError = args[i + 1] + ": " + error, result;
  }
  if (std::string error = Parser{c}.parse(args, 1); !error.empty()) return result.usageError = error, result;
  if (!c.help && c.drives.empty() && !c.all) result.usageError = "name the drives to watch (--drive ADDRESS, or --all)";
  return result;
}

std::string WatchUsageText() {
  return "Usage: quillon watch --drive ADDRESS[:PORT] [--drive ...] | --all [--every SECONDS]\n"
         "                     [--no-first-save] [--json] [--documents DIR] [--install-root DIR]\n"
         "                     [--codepage NAME] [--config FILE]\n"
         "\n"
         "Watches drives without a window and saves a drive by itself when it records a new\n"
         "fault. Every interval each drive's eight bank time stamps are read (\"MY1\", nothing\n"
         "else); a stamp not saved yet starts a whole save of that drive into\n"
         "DIR/Quillon/<panel name>/, where a small state file says what was saved. One line per\n"
         "event on stdout. SIGTERM or SIGINT: no new save, a save going on is cancelled and keeps\n"
         "its data, exit 0.\n"
         "\n"
         "  --drive ADDRESS[:PORT]  a drive to watch (port default 22359); repeatable\n"
         "  --all                   every drive that answers \"QT\" sent to the broadcast address of\n"
         "                          every adapter, as the scan sends it; asked again every interval\n"
         "  --every SECONDS         the interval (default 60)\n"
         "  --no-first-save         a drive never saved before is not saved at its first poll: its\n"
         "                          banks of now count as saved\n"
         "  --json                  the events as JSON lines\n"
         "  --documents DIR         instead of your documents folder\n"
         "  --install-root DIR      where the drive databases are installed (default /opt)\n"
         "  --codepage NAME         code page of the drives' texts (default windows-1252)\n"
         "  --config FILE           settings from FILE (drives, every, documents, install-root,\n"
         "                          codepage, first-save, json); the options given replace them.\n"
         "                          The service reads /etc/quillon/watch.conf\n"
         "  --help, -h              show this text\n"
         "\n"
         "Exit status: 0 stopped by a signal, 64 the command line or the settings file was not\n"
         "understood.\n";
}

std::optional<int> RunWatchCommand(int argc, char** argv, const std::filesystem::path& templateFolder) {
  const WatchParse parse = ParseWatchCommand(std::vector<std::string>(argv + 1, argv + argc));
  if (!parse.isWatchCommand) return std::nullopt;
  if (!parse.usageError.empty()) return usageError(parse.usageError);
  const WatchCommand& command = parse.command;
  if (command.help) {
    std::cout << WatchUsageText();
    return kWatchStopped;
  }
  const int stopFd = stopSignalDescriptor();
  QCoreApplication app(argc, argv);
  WatchEventPrinter printer(std::cout, command.json);
  auto tell = [&printer](const WatchEvent& event) { printer.print(event); };

  WatchSettings settings;
  settings.documents = platform::shell::DocumentsFolder(command.documents);
  settings.every = command.every;
  settings.firstSave = command.firstSave;
  settings.codePage = command.codePage;
  const std::shared_ptr<DriveSaver> saver = MakeSequenceDriveSaver({templateFolder, command.installRoot, command.codePage});

  std::vector<std::unique_ptr<DriveWatch>> watches;
  auto watch = [&](const DriveAddress& drive) {
    watches.push_back(std::make_unique<DriveWatch>(drive, settings, saver, tell));
    watches.back()->start();
  };
  for (const DriveAddress& drive : command.drives) watch(drive);
  bool stopping = false;
  std::unique_ptr<DriveFinder> finder;
  if (command.all) {
    ScanOptions scan;
    scan.codePage = command.codePage;
    finder = std::make_unique<DriveFinder>(
        scan, command.every, [&stopping] { return stopping; }, [&tell](const std::string& problem) { tell(noticeOf(problem)); });
    finder->onFound(watch);
  }

  QSocketNotifier stopNotifier(stopFd, QSocketNotifier::Read);
  QObject::connect(&stopNotifier, &QSocketNotifier::activated, &app, [&] {
    signalfd_siginfo info{};
    [[maybe_unused]] const ssize_t n = ::read(stopFd, &info, sizeof info);
    stopping = true;  // also ends a round of the finder that is collecting answers
    QCoreApplication::quit();
  });
  QCoreApplication::exec();

  tell(noticeOf("stopping: no new save; a save going on keeps what it read"));
  if (finder) finder.reset();
  for (const auto& w : watches) w->stop();
  const auto deadline = std::chrono::steady_clock::now() + kStopDeadline;
  bool allEnded = true;
  for (const auto& w : watches)
    allEnded = w->waitUntilEnded(std::max(std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()),
                                          std::chrono::milliseconds(1))) && allEnded;
  if (!allEnded) {
    // A save still ending keeps its working folder; the process must end now all the same.
    tell(noticeOf("stopped while a save was still ending; its data is in its working folder"));
    std::cout.flush();
    ::_exit(kWatchStopped);
  }
  tell(noticeOf("stopped"));
  return kWatchStopped;
}

}  // namespace quillon::plant
