#include "quillon/window/command_line.h"

#include <algorithm>
#include <cassert>
#include <charconv>
#include <string_view>

namespace quillon {
namespace {

enum class Option {
  Headless, Simulate, Yes, Help, Version, Drive, DrivePort, Port, Documents, InstallRoot, Codepage, DbLoad,
  SimulateType, Jobs, SimulateCount, Wait, Json, All
};

struct OptionSpec {
  std::string_view name;
  Option option;
  bool takesValue;
};

constexpr OptionSpec kOptions[] = {
    {"--headless", Option::Headless, false},   {"--simulate", Option::Simulate, false},
    {"--yes", Option::Yes, false},             {"--help", Option::Help, false},
    {"-h", Option::Help, false},               {"--version", Option::Version, false},
    {"--drive", Option::Drive, true},          {"--drive-port", Option::DrivePort, true},
    {"--port", Option::Port, true},            {"--documents", Option::Documents, true},
    {"--install-root", Option::InstallRoot, true}, {"--codepage", Option::Codepage, true},
    {"--db-load", Option::DbLoad, false},      {"--simulate-type", Option::SimulateType, true},
    {"--jobs", Option::Jobs, true},            {"--simulate-count", Option::SimulateCount, true},
    {"--wait", Option::Wait, true},            {"--json", Option::Json, false},
    {"--all", Option::All, false},
};

// What `quillon scan` takes: where to ask and how long, where drive databases are installed.
constexpr Option kScanOptions[] = {Option::Help,      Option::Drive,       Option::DrivePort, Option::Wait,
                                   Option::Documents, Option::InstallRoot, Option::Codepage,  Option::Json};

const OptionSpec* findOption(std::string_view name) {
  for (const OptionSpec& entry : kOptions)
    if (entry.name == name) return &entry;
  return nullptr;
}

std::optional<std::uint16_t> portNumber(std::string_view text, unsigned lowest) {
  unsigned value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < lowest || value > 65535)
    return std::nullopt;
  return static_cast<std::uint16_t>(value);
}

std::optional<int> countFrom(std::string_view text, int lowest, int highest) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < lowest || value > highest) return std::nullopt;
  return value;
}

// Applies one option; returns a usage error or an empty text.
std::string apply(LaunchOptions& o, const OptionSpec& entry, const std::string& value) {
  switch (entry.option) {
    case Option::Headless: o.headless = true; break;
    case Option::Simulate: o.simulate = true; break;
    case Option::Yes: o.answerYes = true; break;
    case Option::Help: o.showHelp = true; break;
    case Option::Version: o.showVersion = true; break;
    case Option::DbLoad: o.dbLoad = true; break;
    case Option::Drive:
      if (value.empty()) return "--drive needs a host name or address";
      o.destIp = value;
      o.drives.push_back(value);
      break;
    case Option::Jobs: {
      const auto jobs = countFrom(value, 1, kMostJobs);
      if (!jobs) return "--jobs needs a number of runs from 1 to " + std::to_string(kMostJobs) + ", not \"" + value + "\"";
      o.jobs = *jobs;
      break;
    }
    case Option::SimulateCount: {
      const auto count = countFrom(value, 1, kMostSimulatedDrives);
      if (!count)
        return "--simulate-count needs a number of drives from 1 to " + std::to_string(kMostSimulatedDrives) +
               ", not \"" + value + "\"";
      o.simulateCount = *count;
      break;
    }
    case Option::DrivePort: {
      const auto port = portNumber(value, 1);
      if (!port) return "--drive-port needs a port number from 1 to 65535, not \"" + value + "\"";
      o.destPort = *port;
      o.destPortGiven = true;
      break;
    }
    case Option::Port: {
      const auto port = portNumber(value, 0);
      if (!port) return "--port needs a port number from 0 to 65535, not \"" + value + "\"";
      o.myPort = *port;
      o.myPortGiven = true;
      break;
    }
    case Option::Documents:
      if (value.empty()) return "--documents needs a folder";
      o.documents = value;
      break;
    case Option::InstallRoot:
      if (value.empty()) return "--install-root needs a folder";
      o.installRoot = value;
      break;
    case Option::Codepage: {
      if (value.empty()) return "--codepage needs a code page name";
      std::string why;
      std::optional<platform::shell::CodePage> page = platform::shell::CodePage::Named(value, &why);
      if (!page) return "--codepage: " + why;
      o.codePage = std::move(*page);
      break;
    }
    case Option::Wait: {
      const auto seconds = WaitSeconds(value);
      if (!seconds) return "--wait needs a number of seconds from 0 to 60, not \"" + value + "\"";
      o.waitSeconds = *seconds;
      break;
    }
    case Option::All: o.all = true; break;
    case Option::Json:
      if (!o.scan) return "--json is an option of \"quillon scan\"";
      o.json = true;
      break;
    case Option::SimulateType:
      if (value.empty()) return "--simulate-type needs a drive type name, e.g. RX-Brin";
      o.simulatedDriveType = value;
      break;
  }
  return {};
}

// Each run of several takes a free port of its own: one port cannot serve them all.
std::string severalDrivesRefusal(const LaunchOptions& o) {
  if (o.myPortGiven && o.myPort != 0)
    return "--port names one port for one drive; with several drives each run takes a free port of its own";
  for (std::size_t i = 0; i < o.drives.size(); ++i)
    for (std::size_t j = i + 1; j < o.drives.size(); ++j)
      if (o.drives[i] == o.drives[j]) return "--drive " + o.drives[i] + " is given twice: two runs would ask one drive at once";
  return {};
}

// Any word with a leading dash is meant as an option: "-x" is refused, not taken for a switch.
bool isOption(const std::string& word) { return word.size() > 1 && word.front() == '-'; }

// The switch lines the program knows: a typo ("/L", "/x") or an order it does not name would
// otherwise change silently what is read and whether the save is packed.
constexpr std::string_view kKnownSwitchLines[] = {"", "/l", "/f", "/l /f"};

std::string unknownSwitches(const std::vector<std::string>& args, std::size_t first) {
  bool seenL = false;
  bool seenF = false;
  for (std::size_t i = first; i < args.size(); ++i) {
    const std::string& word = args[i];
    if (word == "/l" && !seenL && !seenF) {
      seenL = true;
    } else if (word == "/f" && !seenF) {
      seenF = true;
    } else if (word == "/l" || word == "/f") {
      return "switch \"" + word + "\" out of place: the switches are \"/l\", \"/f\" or \"/l /f\"";
    } else {
      return "unknown word \"" + word + "\": the switches are \"/l\", \"/f\" or \"/l /f\" (see --help)";
    }
  }
  return {};
}

std::string joinedWords(const std::vector<std::string>& args, std::size_t first) {
  std::string line;
  for (std::size_t i = first; i < args.size(); ++i) {
    if (i > first) line += ' ';
    line += args[i];
  }
  return line;
}

// Options come first: one after the switches would otherwise be taken for a switch and the
// run would go on without it (to the broadcast address, for a forgotten --drive).
std::string optionAfterSwitches(const std::vector<std::string>& args, std::size_t first) {
  for (std::size_t i = first; i < args.size(); ++i)
    if (isOption(args[i]))
      return args[i] + " comes after the switches \"" + args[first] +
             "\"; options go first";
  return {};
}

}  // namespace

std::optional<double> WaitSeconds(const std::string& text) {
  constexpr double kLongestWait = 60;
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || !(value >= 0 && value <= kLongestWait))
    return std::nullopt;
  return value;
}

LaunchParse ParseLaunchOptions(const std::vector<std::string>& args) {
  LaunchParse result;
  LaunchOptions& o = result.options;
  bool driveGiven = false;
  o.scan = !args.empty() && args[0] == "scan";
  std::size_t i = o.scan ? 1 : 0;
  bool separated = false;  // "--": every word after it is a switch
  for (; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--") {
      ++i;
      separated = true;
      break;
    }
    if (!isOption(arg)) break;  // the first word that is no option starts `CommandLine`
    const auto equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    const OptionSpec* entry = findOption(name);
    if (!entry) {
      result.usageError = "unknown option " + name;
      return result;
    }
    std::string value;
    if (entry->takesValue) {
      if (equals != std::string::npos) {
        value = arg.substr(equals + 1);
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        result.usageError = name + " needs a value";
        return result;
      }
    } else if (equals != std::string::npos) {
      result.usageError = name + " takes no value";
      return result;
    }
    if (o.scan && std::find(std::begin(kScanOptions), std::end(kScanOptions), entry->option) == std::end(kScanOptions)) {
      result.usageError = "\"scan\" does not take " + name;
      return result;
    }
    if (entry->option == Option::Drive) driveGiven = true;
    result.usageError = apply(o, *entry, value);
    if (!result.usageError.empty()) return result;
  }
  if (o.simulate && driveGiven) {
    result.usageError = "--simulate and --drive exclude each other: the simulated drive runs on 127.0.0.1";
    return result;
  }
  if (o.simulateCount > 1 && !o.simulate) {
    result.usageError = "--simulate-count sets how many simulated drives are saved; use it with --simulate";
    return result;
  }
  if (o.simulatedDriveType && o.simulateCount > 1) {
    result.usageError = "--simulate-type and --simulate-count exclude each other: the drives of --simulate-count have types of their own";
    return result;
  }
  if (o.all && (driveGiven || o.simulate)) {
    result.usageError = "--all saves every drive a scan finds; it excludes --drive and --simulate";
    return result;
  }
  if (o.drives.size() > 1 || o.simulateCount > 1 || o.all) {
    if (const std::string why = severalDrivesRefusal(o); !why.empty()) {
      result.usageError = why;
      return result;
    }
  }
  if (o.simulatedDriveType && !o.simulate) {
    result.usageError = "--simulate-type sets the simulated drive's type; use it with --simulate";
    return result;
  }
  if (o.answerYes && !o.headless) {
    result.usageError = "--yes answers the questions of a headless run; use it with --headless";
    return result;
  }
  if (o.scan && i < args.size()) {
    result.usageError = "\"scan\" takes no switches, not \"" + args[i] + "\"";
    return result;
  }
  if (!separated) {
    result.usageError = optionAfterSwitches(args, i);
    if (!result.usageError.empty()) return result;
  }
  result.usageError = unknownSwitches(args, i);
  if (!result.usageError.empty()) return result;
  o.switches = RunSwitches::Of(joinedWords(args, i));
  assert(std::find(std::begin(kKnownSwitchLines), std::end(kKnownSwitchLines), o.switches.CommandLine) !=
         std::end(kKnownSwitchLines));
  return result;
}

std::string UsageText() {
  return
      "Usage: quillon [--headless] [--simulate [--simulate-type TYPE | --simulate-count N]]\n"
      "               [--drive HOST... | --all] [--drive-port N] [--jobs N]\n"
      "               [--port N] [--documents DIR] [--install-root DIR] [--codepage NAME] [--yes]\n"
      "               [--db-load] [--wait SECONDS]"
      " [--] [/l] [/f]\n"
      "       quillon scan [--drive HOST] [--drive-port N] [--wait SECONDS] [--json]\n"
      "       quillon view PATH [--snapshot FILE.png]\n"
      "       quillon report PATH [-o FILE.html]\n"
      "       quillon export PATH --csv DIR\n"
      "       quillon diff OLD NEW [--json] [--html FILE] | quillon diff --previous SAVE\n"
      "       quillon list [FOLDER] [--json]\n"
      "       quillon watch --drive ADDRESS[:PORT] [--drive ...] | --all [--every SECONDS]\n"
      "\n"
      "Saves a drive's identity, fault trace-back banks and data into\n"
      "DIR/Quillon/TRBSAVE_YYYYMMDD_hhmmss.lzh (DIR: your documents folder). Several drives\n"
      "(--drive given more than once, --all, --simulate-count) are saved at once, each into\n"
      "DIR/Quillon/PANEL/, its panel name made safe for file names (plus _ADDRESS where two drives\n"
      "share one). The window then opens with them ticked, one row each after Start; its Scan\n"
      "button offers the drives found to pick one or tick several.\n"
      "\n"
      "Options (they come first; the words after them are the program's switches, and an\n"
      "option after a switch is refused):\n"
      "  --headless         run the save run at once without a window; print each step,\n"
      "                     a progress line and the messages. Ctrl-C acts as Cancel.\n"
      "  --simulate         start a simulated drive in this process on 127.0.0.1 and save from it\n"
      "  --simulate-type TYPE\n"
      "                     the simulated drive's type (default RX-Fenn, which keeps an event\n"
      "                     log; RX-Brin, for one, does not)\n"
      "  --simulate-count N start N simulated drives of different types (panel names LINE/1 to\n"
      "                     LINE/N) on 127.0.0.11 and up, and save them all at once\n"
      "  --drive HOST       the drive's address (default 255.255.255.255, broadcast); give it\n"
      "                     again for each further drive: all are saved at once\n"
      "  --all              save every drive a scan of this computer's networks finds, at once\n"
      "                     (see --drive; the window scans when it opens and ticks them all)\n"
      "  --jobs N           with several drives: at most N runs at once (default 16)\n"
      "  --wait SECONDS     broadcast: listen this long after the first answer for other drives\n"
      "                     (default 0.5); the run saves only when one drive answered, and\n"
      "                     otherwise names them all and reads nothing\n"
      "  --drive-port N     the drive's UDP port (default 22359)\n"
      "  --port N           this program's own UDP port (default 22359; with several drives\n"
      "                     each run takes a free one)\n"
      "  --documents DIR    use DIR instead of your documents folder\n"
      "  --install-root DIR where the drive databases and product definitions are installed\n"
      "                     (default /opt)\n"
      "  --codepage NAME    code page of the drive's texts and of the files written, any\n"
      "                     iconv name: CP932 (or SHIFT_JIS) for Japanese drives, CP1252\n"
      "                     (default windows-1252)\n"
      "  --yes              headless: answer \"Open Folder?\" with Yes (default No)\n"
      "  --db-load          tick \"DB Load\": receive the drive's own database archive first and\n"
      "                     extract it into DIR/Quillon, where it is found before installed ones\n"
      "  --help, -h         show this text\n"
      "  --version          show the program's version and that of the control module\n"
      "\n"
      "Switches (only these words, in this order; any other word is refused):\n"
      "  /l                 show \"DB Load\"; pack nothing but move the working folder to\n"
      "                     TRBSAVE_YYYYMMDD_hhmmss; exactly \"/l\" reads only the bank with the\n"
      "                     latest fault (\"Last Fault Only\")\n"
      "  ... /f             (last word) use the 32-per-block trace requests where the drive\n"
      "                     allows them\n"
      "\n"
      "Finding drives:\n"
      "  scan               ask every network of this computer by broadcast (or only --drive HOST)\n"
      "                     which drives are there, for --wait SECONDS (default 1), then each\n"
      "                     drive who it is: address, drive type, software and interface version,\n"
      "                     panel name, recorded banks, whether its drive database is installed\n"
      "                     (--json: a JSON array; exit 0 a drive answered, 1 none did)\n"
      "\n"
      "Looking at a save (PATH: its archive .lzh, a moved save folder TRBSAVE_..., one\n"
      "trace-back workbook .mdb or one CSV set folder TRB_...; 'quillon view --help'):\n"
      "  view PATH          the drive, banks, signals plotted and record tables in a window;\n"
      "                     --snapshot FILE.png renders the window into FILE.png\n"
      "  report PATH        one self-contained HTML page of the save (-o FILE.html)\n"
      "  export PATH --csv DIR\n"
      "                     one CSV file per bank into DIR\n"
      "  diff OLD NEW       what changed between two saves: identity, setting parameters,\n"
      "                     banks, new trouble records and event-log entries, event counters\n"
      "                     (--json, --html FILE; --previous SAVE: the drive's previous save;\n"
      "                     exit 0 the same, 1 different, 2 a save cannot be read)\n"
      "  list [FOLDER]      every save under DIR/Quillon (or FOLDER), newest first (--json)\n"
      "\n"
      "Watching drives ('quillon watch --help'):\n"
      "  watch              save each drive by itself when it records a new fault, into\n"
      "                     DIR/Quillon/<panel name>/; runs until SIGTERM or SIGINT\n"
      "\n"
      "Exit status: 0 the run (with several drives: every drive's run) completed, 1 it ended with an error (printed; for view, report\n"
      "and export: the save could not be read or the output not written),\n"
      "2 it was cancelled (the message says where the data read so far is), 64 the command line\n"
      "was not understood. The next Start keeps a working folder left by a run that did not\n"
      "complete as TRBSAVE_YYYYMMDD_hhmmss_incomplete.\n";
}

}  // namespace quillon
