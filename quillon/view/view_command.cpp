#include "quillon/view/view_command.h"

#include <QApplication>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <iostream>

#include "quillon/view/compare_commands.h"
#include "quillon/view/compare_tab.h"
#include "quillon/view/csv_export.h"
#include "quillon/view/diff_writers.h"
#include "quillon/view/record_decoding.h"
#include "quillon/view/report.h"
#include "quillon/view/setting_names.h"
#include "quillon/view/save_reader.h"
#include "quillon/view/viewer_window.h"

namespace quillon::view {

namespace {

struct CommandName {
  const char* word;
  ViewCommand::Kind kind;
};
constexpr CommandName kCommands[] = {{"view", ViewCommand::Kind::View},     {"report", ViewCommand::Kind::Report},
                                     {"export", ViewCommand::Kind::Export}, {"diff", ViewCommand::Kind::Diff},
                                     {"list", ViewCommand::Kind::List}};

enum class Takes { Nothing, Flag, Value };

// The options each command takes: flags, or options with a value.
Takes takes(ViewCommand::Kind kind, const std::string& option) {
  using Kind = ViewCommand::Kind;
  if (option == "--codepage") return Takes::Value;
  const bool readsOtherSaves = kind == Kind::View || kind == Kind::Report || kind == Kind::Diff || kind == Kind::List;
  if (option == "--documents" && readsOtherSaves) return Takes::Value;
  if (option == "--install-root" && readsOtherSaves && kind != Kind::List) return Takes::Value;
  const bool showsTraces = kind == Kind::View || kind == Kind::Report || kind == Kind::Export;
  if (option == "--sample-time" && showsTraces) return Takes::Value;
  switch (kind) {
    case Kind::View: return option == "--snapshot" ? Takes::Value : Takes::Nothing;
    case Kind::Report:
      if (option == "--full") return Takes::Flag;
      return option == "-o" || option == "--output" || option == "--compare" ? Takes::Value : Takes::Nothing;
    case Kind::Export:
      if (option == "--force" || option == "--excel") return Takes::Flag;
      return option == "--csv" ? Takes::Value : Takes::Nothing;
    case Kind::Diff:
      if (option == "--json" || option == "--previous") return Takes::Flag;
      return option == "--html" ? Takes::Value : Takes::Nothing;
    case Kind::List: return option == "--json" ? Takes::Flag : Takes::Nothing;
  }
  return Takes::Nothing;
}

std::string apply(ViewCommand& command, const std::string& option, const std::string& value) {
  if (option == "--json") command.json = true;
  else if (option == "--previous") command.previous = true;
  else if (option == "--force") command.force = true;
  else if (option == "--excel") command.excel = true;
  else if (option == "--full") command.full = true;
  else if (value.empty()) return option + " needs a value";
  else if (option == "--codepage") {
    std::string why;
    std::optional<platform::shell::CodePage> page = platform::shell::CodePage::Named(value, &why);
    if (!page) return "--codepage: " + why;
    command.codePage = std::move(*page);
  } else if (option == "--sample-time") {
    char* end = nullptr;
    const double seconds = std::strtod(value.c_str(), &end);
    if (end == value.c_str() || *end != '\0' || !(seconds > 0) || !std::isfinite(seconds))
      return "--sample-time needs the seconds one sampling value means, a number above 0, not \"" + value + "\"";
    command.secondsPerSampling = seconds;
  } else if (option == "--snapshot") command.snapshot = value;
  else if (option == "-o" || option == "--output") command.output = value;
  else if (option == "--csv") command.csvFolder = value;
  else if (option == "--compare") command.compare = value;
  else if (option == "--html") command.html = value;
  else if (option == "--documents") command.documents = value;
  else if (option == "--install-root") command.installRoot = value;
  return {};
}

// The words that are not options: the saves (or the folder) the command reads.
std::string takePaths(ViewCommand& command, const std::string& word, const std::vector<std::string>& paths) {
  using Kind = ViewCommand::Kind;
  const auto tooMany = [&](const std::string& what) {
    return "\"" + word + "\" takes " + what + ", not also \"" + paths.back() + "\"";
  };
  switch (command.kind) {
    case Kind::Diff:
      if (command.previous) {
        if (paths.size() > 1) return tooMany("one save with --previous");
        if (paths.empty()) return "\"diff --previous\" needs the save to compare with its previous one";
        command.path = paths[0];
      } else {
        if (paths.size() > 2) return tooMany("two saves");
        if (paths.size() < 2) return "\"diff\" needs two saves, the older and the newer (or --previous SAVE)";
        command.compare = paths[0];
        command.path = paths[1];
      }
      return {};
    case Kind::List:
      if (paths.size() > 1) return tooMany("one folder");
      if (!paths.empty()) command.path = paths[0];
      return {};
    default:
      if (paths.size() > 1) return "\"" + word + "\" takes one save, not also \"" + paths[1] + "\"";
      if (paths.empty()) return "\"" + word + "\" needs the save to read (an archive, folder or workbook)";
      command.path = paths[0];
      if (command.kind == Kind::Export && command.csvFolder.empty())
        return "\"export\" needs --csv DIR, the folder to write the CSV files into";
      return {};
  }
}

int usageError(const std::string& why) {
  std::cerr << "quillon: " << why << "\nTry 'quillon --help'.\n";
  return kViewUsage;
}

int failed(const std::string& why) {
  std::cerr << "quillon: " << why << "\n";
  return kViewFailed;
}

// The records with the names of the drive database of the save's drive, where one is found.
SaveModel decodedForReading(const SaveModel& model, const ViewCommand& command) {
  return WithDecodedRecords(model, DriveDbSettingNames(CompareContextOf(command).search, model.drive));
}

ReportOptions reportOptionsOf(const ViewCommand& command) { return {command.secondsPerSampling, command.full}; }

// The report's page with the differences from the older save before its end.
std::string reportWithDifferences(const SaveModel& model, const ViewCommand& command) {
  std::string html = ReportHtml(decodedForReading(model, command), reportOptionsOf(command));
  const SaveDiff diff = CompareWithSave(model, command.path, *command.compare, CompareContextOf(command));
  const std::size_t end = html.rfind("</body>");
  html.insert(end == std::string::npos ? html.size() : end, DiffHtmlSection(diff));
  return html;
}

int runReport(const SaveModel& model, const ViewCommand& command) {
  const std::filesystem::path file = command.output.value_or(DefaultReportFile(command.path));
  if (command.compare) WriteFileComplete(file, reportWithDifferences(model, command));
  else WriteReport(decodedForReading(model, command), file, reportOptionsOf(command));
  std::cout << "Report written: " << file.string() << "\n";
  return kViewDone;
}

int runExport(const SaveModel& model, const ViewCommand& command) {
  const auto files = ExportBanksCsv(model, command.csvFolder, {command.force, command.excel, command.secondsPerSampling});
  for (const auto& file : files) std::cout << "Written: " << file.string() << "\n";
  if (files.empty()) std::cout << "The save holds no trace-back bank; nothing written.\n";
  return kViewDone;
}

int runView(int argc, char** argv, const SaveModel& model, const ViewCommand& command) {
  // A snapshot needs no display.
  if (command.snapshot && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // Without one Qt would end the process; say what to do instead.
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM") && !qEnvironmentVariableIsSet("DISPLAY") &&
      !qEnvironmentVariableIsSet("WAYLAND_DISPLAY"))
    return failed("no display to open the window on (DISPLAY is not set); use --snapshot FILE.png, or "
                  "'quillon report' for a page any browser shows.");
  QApplication app(argc, argv);
  CompareSetup compare{command.path, CompareContextOf(command)};
  const SaveModel shown = decodedForReading(model, command);
  return RunViewer(shown, command.snapshot, [&](ViewerWindow& window) {
                     window.setSaveOpener([&command](const std::filesystem::path& path) {
                       return decodedForReading(ReadSave(path, command.codePage), command);
                     });
                     AddCompareMenu(window, model, compare);
                   },
                   command.secondsPerSampling);
}

}  // namespace

ViewParse ParseViewCommand(const std::vector<std::string>& args) {
  ViewParse parse;
  if (args.empty()) return parse;
  for (const CommandName& name : kCommands)
    if (args[0] == name.word) {
      parse.isViewCommand = true;
      parse.command.kind = name.kind;
    }
  if (!parse.isViewCommand) return parse;
  ViewCommand& command = parse.command;
  std::vector<std::string> paths;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      command.help = true;
      continue;
    }
    if (arg.size() > 1 && arg[0] == '-') {
      const auto equals = arg.find('=');
      const std::string option = arg.substr(0, equals);
      const Takes form = takes(command.kind, option);
      if (form == Takes::Nothing) {
        parse.usageError = "unknown option " + option + " for \"" + args[0] + "\"";
        return parse;
      }
      std::string value;
      if (form == Takes::Flag && equals != std::string::npos) {
        parse.usageError = option + " takes no value";
        return parse;
      }
      if (form == Takes::Value) {
        if (equals != std::string::npos) value = arg.substr(equals + 1);
        else if (i + 1 < args.size()) value = args[++i];
      }
      parse.usageError = apply(command, option, value);
      if (!parse.usageError.empty()) return parse;
      continue;
    }
    paths.push_back(arg);
  }
  if (command.help) return parse;
  parse.usageError = takePaths(command, args[0], paths);
  return parse;
}

std::filesystem::path DefaultReportFile(const std::filesystem::path& path) {
  std::filesystem::path file = path;
  if (file.has_filename() == false) file = file.parent_path();  // "folder/" names the folder
  if (std::filesystem::is_directory(file)) return file.string() + ".html";
  return file.replace_extension(".html");
}

std::string ViewUsageText() {
  return "Usage: quillon view PATH [--snapshot FILE.png] [--sample-time SECONDS]\n"
         "       quillon report PATH [-o FILE.html] [--full] [--compare OLD] [--sample-time SECONDS]\n"
         "       quillon export PATH --csv DIR [--force] [--excel] [--sample-time SECONDS]\n"
         "       quillon diff OLD NEW [--json] [--html FILE]\n"
         "       quillon diff --previous SAVE [--json] [--html FILE]\n"
         "       quillon list [FOLDER] [--json]\n"
         "\n"
         "PATH is a save: its archive (TRBSAVE_YYYYMMDD_hhmmss.lzh), a moved save folder\n"
         "(TRBSAVE_...), one trace-back workbook (.mdb) or one CSV set folder (TRB_...).\n"
         "  view     the drive, its banks, the signals plotted over the samples from the fault and the\n"
         "           record tables in a window; --snapshot renders the window into FILE.png\n"
         "  report   one HTML page with everything, for any browser and for printing on A4\n"
         "           (default FILE: PATH with .html)\n"
         "  export   one CSV file per bank into DIR: sample index, per group the samples (and\n"
         "           with --sample-time the seconds) from its fault, one column per signal with\n"
         "           its unit (\"SPD_REF [%]\"), a column \"fault\" naming the groups whose fault\n"
         "           sample a row is; --excel adds a byte-order mark so that Excel reads UTF-8;\n"
         "           files already there are kept (nothing is written) unless --force\n"
         "  diff     what changed from the older save OLD to the newer NEW (archives, save\n"
         "           folders or setting-parameter workbooks): identity, setting parameters (by\n"
         "           symbol; a parameter the workbook leaves out is \"0 (not listed)\"; without a\n"
         "           drive database by word address), banks by fault time, new trouble records,\n"
         "           event counters, new event-log entries; changed lines only. --json prints\n"
         "           one object, --html FILE writes a page; --previous compares SAVE with the\n"
         "           latest earlier save of the same drive (drive type and panel name)\n"
         "  list     every save under the documents folder (or FOLDER), newest first: time,\n"
         "           drive, firmware, banks and faults, complete or not, path; --json\n"
         "  --codepage NAME   code page of the save's CSV files (default windows-1252)\n"
         "  --documents DIR   the documents folder whose Quillon folder holds the saves\n"
         "                    (diff --previous, list, the viewer's \"Compare with...\")\n"
         "  --install-root DIR  where drive databases are installed, which give setting\n"
         "                    parameters their long names (default /opt)\n"
         "  report --full     the setting parameters open, so that they print too\n"
         "  report --compare OLD   adds the differences from OLD to the report\n"
         "  --sample-time SECONDS  what one sampling value means in time: the plots count\n"
         "                    seconds from the fault instead of samples (view, report, export; the\n"
         "                    viewer remembers its own per drive type)\n"
         "\n"
         "Exit status: 0 done, 1 the save could not be read or the output not written,\n"
         "64 the command line was not understood. diff: 0 the saves are the same, 1 they\n"
         "differ, 2 trouble (a save cannot be read).\n";
}

std::optional<int> RunViewCommand(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const ViewParse parse = ParseViewCommand(args);
  if (!parse.isViewCommand) return std::nullopt;
  if (!parse.usageError.empty()) return usageError(parse.usageError);
  const ViewCommand& command = parse.command;
  if (command.help) {
    std::cout << ViewUsageText();
    return kViewDone;
  }
  if (command.kind == ViewCommand::Kind::Diff) return RunDiff(command);
  if (command.kind == ViewCommand::Kind::List) return RunList(command);
  try {
    const SaveModel model = ReadSave(command.path, command.codePage);
    switch (command.kind) {
      case ViewCommand::Kind::View: return runView(argc, argv, model, command);
      case ViewCommand::Kind::Report: return runReport(model, command);
      case ViewCommand::Kind::Export: return runExport(model, command);
      case ViewCommand::Kind::Diff:
      case ViewCommand::Kind::List: break;  // run above
    }
  } catch (const SaveError& error) {
    return failed(error.what());
  } catch (const ExportError& error) {
    return failed(error.what());
  } catch (const std::bad_alloc&) {
    return failed(command.path.string() + ": the save is too large to be held in memory.");
  } catch (const std::exception& error) {
    return failed(command.path.string() + ": " + error.what());
  }
  return kViewFailed;
}

}  // namespace quillon::view
