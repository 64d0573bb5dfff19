#pragma once
// A file is written completely or not at all: its bytes go to "<name>.part" beside it, and
// only when every byte was written and flushed to disk does the file take its real name
// (replacing one of that name, a read-only one too). A failure (disk full, a file too large
// for the limits, a folder that became unwritable) removes the partial file and says why, so
// no file is ever left short under its real name.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace platform::shell {

inline constexpr const char* kPartialFileSuffix = ".part";

// `target` with ".part" appended to its file name.
std::filesystem::path PartialPathOf(const std::filesystem::path& target);

class CompleteFile {
 public:
  // Starts "<target>.part" (a stale one is replaced).
  explicit CompleteFile(std::filesystem::path target);
  // A file not finished is removed: it was never complete.
  ~CompleteFile();
  CompleteFile(const CompleteFile&) = delete;
  CompleteFile& operator=(const CompleteFile&) = delete;

  // After the first failure nothing more is written; finish() tells it.
  void write(std::string_view bytes);
  // Flushes the bytes to disk and gives the file its real name. Empty text, or why the file
  // was not written (the partial file is gone then).
  std::string finish();

  const std::filesystem::path& target() const { return target_; }

 private:
  void fail(const char* what, int error);
  void discard();

  std::filesystem::path target_;
  std::filesystem::path partial_;
  int fd_ = -1;
  bool finished_ = false;
  std::string failure_;
};

// The whole file at once. Empty text, or why it was not written.
std::string WriteFileCompletely(const std::filesystem::path& target, std::string_view bytes);

// Flushes the closed file `partial` to disk and renames it to `target`, replacing a file of
// that name. Empty text, or why not (`partial` stays then; the caller removes it).
std::string PublishCompleteFile(const std::filesystem::path& partial, const std::filesystem::path& target);

// Told of every file that took its real name through this module, with its size: what a test
// or a benchmark checks the files left afterwards against. One observer for the process.
using PublishObserver = std::function<void(const std::filesystem::path& target, std::uintmax_t size)>;
void SetPublishObserver(PublishObserver observer);

}  // namespace platform::shell
