#pragma once
// The program's switches: the words of the command line after the options, joined by one blank
// (`CommandLine`), tested once, case-sensitively, in the four ways the program always has.
#include <string>

namespace quillon {

struct RunSwitches {
  std::string CommandLine;
  bool showsDbLoad = false;         // contains "/l": `Check1` ("DB Load") is shown
  bool lastFaultOnly = false;       // is exactly "/l": only the bank with the latest fault
  bool skipsArchive = false;        // begins with "/l": the working folder is moved, not packed
  bool forcesWideRequests = false;  // ends with "/f": 32-per-block trace requests where allowed

  static RunSwitches Of(std::string commandLine);
};

}  // namespace quillon
