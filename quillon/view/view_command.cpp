#include "quillon/view/view_command.h"

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <iostream>

#include "quillon/view/csv_export.h"
#include "quillon/view/report.h"
#include "quillon/view/save_reader.h"
#include "quillon/view/viewer_window.h"

namespace quillon::view {

namespace {

struct CommandName {
  const char* word;
  ViewCommand::Kind kind;
};
constexpr CommandName kCommands[] = {
    {"view", ViewCommand::Kind::View}, {"report", ViewCommand::Kind::Report}, {"export", ViewCommand::Kind::Export}};

// The options each command takes, all with a value.
bool takes(ViewCommand::Kind kind, const std::string& option) {
  if (option == "--codepage") return true;
  switch (kind) {
    case ViewCommand::Kind::View: return option == "--snapshot";
    case ViewCommand::Kind::Report: return option == "-o" || option == "--output";
    case ViewCommand::Kind::Export: return option == "--csv";
  }
  return false;
}

std::string apply(ViewCommand& command, const std::string& option, const std::string& value) {
  if (value.empty()) return option + " needs a value";
  if (option == "--codepage") {
    std::string why;
    std::optional<platform::shell::CodePage> page = platform::shell::CodePage::Named(value, &why);
    if (!page) return "--codepage: " + why;
    command.codePage = std::move(*page);
  } else if (option == "--snapshot") command.snapshot = value;
  else if (option == "-o" || option == "--output") command.output = value;
  else if (option == "--csv") command.csvFolder = value;
  return {};
}

int usageError(const std::string& why) {
  std::cerr << "quillon: " << why << "\nTry 'quillon --help'.\n";
  return kViewUsage;
}

int failed(const std::string& why) {
  std::cerr << "quillon: " << why << "\n";
  return kViewFailed;
}

// The folder of an output file is made when missing, as the export makes its folder.
void makeParentFolder(const std::filesystem::path& file) {
  std::error_code ignored;  // a folder that cannot be made shows as a file that cannot be written
  if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), ignored);
}

int runReport(const SaveModel& model, const ViewCommand& command) {
  const std::filesystem::path file = command.output.value_or(DefaultReportFile(command.path));
  makeParentFolder(file);
  WriteReport(model, file);
  std::cout << "Report written: " << file.string() << "\n";
  return kViewDone;
}

int runExport(const SaveModel& model, const ViewCommand& command) {
  const auto files = ExportBanksCsv(model, command.csvFolder);
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
  if (command.snapshot) makeParentFolder(*command.snapshot);
  QApplication app(argc, argv);
  return RunViewer(model, command.snapshot);
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
  bool pathGiven = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      command.help = true;
      continue;
    }
    if (arg.size() > 1 && arg[0] == '-') {
      const auto equals = arg.find('=');
      const std::string option = arg.substr(0, equals);
      if (!takes(command.kind, option)) {
        parse.usageError = "unknown option " + option + " for \"" + args[0] + "\"";
        return parse;
      }
      std::string value;
      if (equals != std::string::npos) value = arg.substr(equals + 1);
      else if (i + 1 < args.size()) value = args[++i];
      parse.usageError = apply(command, option, value);
      if (!parse.usageError.empty()) return parse;
      continue;
    }
    if (pathGiven) {
      parse.usageError = "\"" + args[0] + "\" takes one save, not also \"" + arg + "\"";
      return parse;
    }
    command.path = arg;
    pathGiven = true;
  }
  if (command.help) return parse;
  if (!pathGiven) parse.usageError = "\"" + args[0] + "\" needs the save to read (an archive, folder or workbook)";
  else if (command.kind == ViewCommand::Kind::Export && command.csvFolder.empty())
    parse.usageError = "\"export\" needs --csv DIR, the folder to write the CSV files into";
  return parse;
}

std::filesystem::path DefaultReportFile(const std::filesystem::path& path) {
  std::filesystem::path file = path;
  if (file.has_filename() == false) file = file.parent_path();  // "folder/" names the folder
  if (std::filesystem::is_directory(file)) return file.string() + ".html";
  return file.replace_extension(".html");
}

std::string ViewUsageText() {
  return "Usage: quillon view PATH [--snapshot FILE.png]\n"
         "       quillon report PATH [-o FILE.html]\n"
         "       quillon export PATH --csv DIR\n"
         "\n"
         "PATH is a save: its archive (TRBSAVE_YYYYMMDD_hhmmss.lzh), a moved save folder\n"
         "(TRBSAVE_...), one trace-back workbook (.mdb) or one CSV set folder (TRB_...).\n"
         "  view     the drive, its banks, the signals plotted over the sample index and the\n"
         "           record tables in a window; --snapshot renders the window into FILE.png\n"
         "  report   one HTML page with everything, for any browser and for printing on A4\n"
         "           (default FILE: PATH with .html)\n"
         "  export   one CSV file per bank into DIR: sample index, one column per signal and\n"
         "           a column \"fault\" that names the groups whose fault sample a row is\n"
         "  --codepage NAME   code page of the save's CSV files (default windows-1252)\n"
         "\n"
         "Exit status: 0 done, 1 the save could not be read or the output not written,\n"
         "64 the command line was not understood.\n";
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
  try {
    const SaveModel model = ReadSave(command.path, command.codePage);
    switch (command.kind) {
      case ViewCommand::Kind::View: return runView(argc, argv, model, command);
      case ViewCommand::Kind::Report: return runReport(model, command);
      case ViewCommand::Kind::Export: return runExport(model, command);
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
