#include "platform/shell/complete_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace platform::shell {
namespace fs = std::filesystem;
namespace {

PublishObserver& observer() {
  static PublishObserver instance;
  return instance;
}

std::string failureText(const char* what, const fs::path& file, int error) {
  return std::string(what) + " \"" + file.string() + "\": " + std::strerror(error);
}

void removeQuietly(const fs::path& file) {
  std::error_code ignored;
  fs::remove(file, ignored);
}

// fsync of a file that is already closed: opened again for it.
int syncClosedFile(const fs::path& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  const int error = ::fsync(fd) == 0 ? 0 : errno;
  ::close(fd);
  return error;
}

std::uintmax_t sizeOf(const fs::path& file) {
  std::error_code ignored;
  const std::uintmax_t size = fs::file_size(file, ignored);
  return ignored ? 0 : size;
}

}  // namespace

fs::path PartialPathOf(const fs::path& target) {
  fs::path partial = target;
  partial += kPartialFileSuffix;
  return partial;
}

CompleteFile::CompleteFile(fs::path target) : target_(std::move(target)), partial_(PartialPathOf(target_)) {
  removeQuietly(partial_);  // a stale one, possibly read-only
  fd_ = ::open(partial_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd_ < 0) fail("Cannot create the file", errno);
}

CompleteFile::~CompleteFile() {
  if (!finished_) discard();
}

void CompleteFile::fail(const char* what, int error) {
  if (failure_.empty()) failure_ = failureText(what, target_, error);
}

void CompleteFile::discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  removeQuietly(partial_);
}

void CompleteFile::write(std::string_view bytes) {
  while (fd_ >= 0 && failure_.empty() && !bytes.empty()) {
    const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      fail("Cannot write the file", errno);
      return;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

std::string CompleteFile::finish() {
  if (finished_) return failure_;
  finished_ = true;
  if (failure_.empty() && ::fsync(fd_) != 0) fail("Cannot write the file", errno);
  if (fd_ >= 0 && ::close(fd_) != 0) fail("Cannot write the file", errno);
  fd_ = -1;
  if (failure_.empty()) {
    // Flushed already: the rename alone is left.
    std::error_code error;
    fs::rename(partial_, target_, error);
    if (error) fail("Cannot write the file", error.value());
    else if (observer()) observer()(target_, sizeOf(target_));
  }
  if (!failure_.empty()) removeQuietly(partial_);
  return failure_;
}

std::string WriteFileCompletely(const fs::path& target, std::string_view bytes) {
  CompleteFile file(target);
  file.write(bytes);
  return file.finish();
}

std::string PublishCompleteFile(const fs::path& partial, const fs::path& target) {
  if (const int error = syncClosedFile(partial); error != 0) return failureText("Cannot write the file", target, error);
  std::error_code error;
  fs::rename(partial, target, error);
  if (error) return failureText("Cannot write the file", target, error.value());
  if (observer()) observer()(target, sizeOf(target));
  return {};
}

void SetPublishObserver(PublishObserver watcher) { observer() = std::move(watcher); }

}  // namespace platform::shell
