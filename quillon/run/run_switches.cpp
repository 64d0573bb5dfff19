#include "quillon/run/run_switches.h"

namespace quillon {

RunSwitches RunSwitches::Of(std::string commandLine) {
  RunSwitches s;
  s.showsDbLoad = commandLine.find("/l") != std::string::npos;
  s.lastFaultOnly = commandLine == "/l";
  s.skipsArchive = commandLine.starts_with("/l");
  s.forcesWideRequests = commandLine.ends_with("/f");
  s.CommandLine = std::move(commandLine);
  return s;
}

}  // namespace quillon
