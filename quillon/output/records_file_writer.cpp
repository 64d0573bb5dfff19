#include "quillon/output/records_file_writer.h"

#include <fstream>

#include "platform/shell/codepage.h"
#include "platform/shell/folders.h"

namespace quillon {

namespace {

// A plain file name: no folder part, not "." or "..", no NUL.
bool staysInFolder(const std::string& fileName) {
  if (fileName.empty() || fileName == "." || fileName == "..") return false;
  return fileName.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

}  // namespace

std::string writeWorkingFolderFile(const std::filesystem::path& appFolder, const std::string& fileName,
                                   const std::vector<std::string>& lines) {
  if (!staysInFolder(fileName)) return "The file name \"" + fileName + "\" does not name a file of the working folder";
  const std::filesystem::path folder = appFolder / kWorkingFolderName;
  if (std::string error = platform_shell::CreateFolder(folder); !error.empty()) return error;
  const std::filesystem::path file = folder / fileName;
  std::error_code ignored;
  std::filesystem::remove(file, ignored);  // a read-only file left by an earlier run is replaced too
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  if (!out) return "Cannot create the file " + file.string();
  std::string text;
  for (const std::string& line : lines) {
    text += shell::toAnsi(line);
    text += "\r\n";
  }
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.close();
  if (!out) return "Cannot write the file " + file.string();
  return {};
}

}  // namespace quillon
