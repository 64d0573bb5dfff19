#pragma once
// Writes the text files of the working folder: lines in the drive's ANSI code page, each ended
// by CR LF, no quoting; a file of the same name is replaced, and only by a complete one. Names
// must stay inside the folder.
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/shell/codepage.h"
#include "platform/shell/complete_file.h"

namespace quillon {

// A name of one file or folder: not empty, not "." or "..", no folder separator, no NUL.
bool isPlainName(const std::string& name);

// One file written line by line, so that a large table need not be held as text. It takes
// its name only once complete (see platform/shell/complete_file.h).
class TextFileWriter {
 public:
  // Replaces `file` (a read-only one left by an earlier run too) when finished; lines go in
  // in `codePage`.
  TextFileWriter(const std::filesystem::path& file, const platform::shell::CodePage& codePage);
  void line(std::string_view text);
  // Returns an empty text, or why the file was not written (nothing of it is left then).
  std::string finish();

 private:
  void flush();
  platform::shell::CompleteFile file_;
  platform::shell::CodePage codePage_;
  std::string buffer_;
};

// Creates `workingFolder` when missing. Returns an empty text, or why the file was not written.
std::string writeWorkingFolderFile(const std::filesystem::path& workingFolder, const std::string& fileName,
                                   const std::vector<std::string>& lines, const platform::shell::CodePage& codePage);

// Creates `workingFolder`/`subFolder` when missing and sets `folder` to it. Returns an empty
// text, or why it could not be made (a name that would leave the working folder included).
std::string makeWorkingSubfolder(const std::filesystem::path& workingFolder, const std::string& subFolder,
                                 std::filesystem::path& folder);

}  // namespace quillon
