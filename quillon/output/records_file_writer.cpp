#include "quillon/output/records_file_writer.h"

#include "platform/shell/folders.h"

namespace quillon {

namespace {

constexpr std::size_t kFlushBytes = 1 << 16;

}  // namespace

bool isPlainName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

TextFileWriter::TextFileWriter(const std::filesystem::path& file, const platform::shell::CodePage& codePage)
    : file_(file), codePage_(codePage) {}

void TextFileWriter::line(std::string_view text) {
  codePage_.appendAnsi(buffer_, text);
  buffer_ += "\r\n";
  if (buffer_.size() >= kFlushBytes) flush();
}

void TextFileWriter::flush() {
  file_.write(buffer_);
  buffer_.clear();
}

std::string TextFileWriter::finish() {
  flush();
  return file_.finish();
}

std::string writeWorkingFolderFile(const std::filesystem::path& workingFolder, const std::string& fileName,
                                   const std::vector<std::string>& lines, const platform::shell::CodePage& codePage) {
  if (!isPlainName(fileName)) return "The file name \"" + fileName + "\" does not name a file of the working folder";
  if (std::string error = platform::shell::CreateFolder(workingFolder); !error.empty()) return error;
  TextFileWriter file(workingFolder / fileName, codePage);
  for (const std::string& line : lines) file.line(line);
  return file.finish();
}

std::string makeWorkingSubfolder(const std::filesystem::path& workingFolder, const std::string& subFolder,
                                 std::filesystem::path& folder) {
  if (!isPlainName(subFolder))
    return "The folder name \"" + subFolder + "\" does not name a folder of the working folder";
  if (std::string error = platform::shell::CreateFolder(workingFolder); !error.empty()) return error;
  folder = workingFolder / subFolder;
  return platform::shell::CreateFolder(folder);
}

}  // namespace quillon
