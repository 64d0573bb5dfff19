#pragma once
// The archiver entry the program calls with a command text, as it would call the outside LHA
// library. Two commands are understood:
//   a "<archive>" "<folder>"\ *.* -d -n1 -gm1   pack every file under the folder (subfolders
//                                                included), then delete the packed files
//   e "<archive>" "<folder>/" -n1 -gm1          extract the archive into the folder
// -n1 and -gm1 (no progress display, messages only in `output`) are accepted and change
// nothing here. The result is 0 when the whole command was carried out.
#include <string>

namespace platform::archive {

enum UnlhaResult : int {
  kUnlhaDone = 0,
  kUnlhaBadCommand = 1,  // not one of the commands above
  kUnlhaPackFailed = 2,  // nothing was deleted
  kUnlhaExtractFailed = 3,
  kUnlhaNotAllDeleted = 4,  // the archive is complete, some packed files stayed
};

// What a command asks for, read from its text.
struct UnlhaCommand {
  char action = 0;  // 'a' or 'e'
  std::string archive;
  std::string folder;
  bool deleteAfterPacking = false;
};

// False with `error` set for any text that is not one of the two commands.
bool ParseUnlhaCommand(const std::string& text, UnlhaCommand& command, std::string& error);

}  // namespace platform::archive

// `window` is the caller's window handle (unused: nothing is shown). `output` receives the
// archiver's messages, cut to `size` bytes and ended by a zero byte when there is room.
// Member names are stored and read in windows-1252.
int Unlha(void* window, const char* command, char* output, unsigned long size);
// The same with the ANSI code page the names are stored and read in (any iconv name; see
// platform/archive/lzh_names.h).
int UnlhaInCodePage(void* window, const char* command, char* output, unsigned long size, const char* codePage);
