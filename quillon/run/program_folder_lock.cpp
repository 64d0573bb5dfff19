#include "quillon/run/program_folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cassert>
#include <cerrno>
#include <charconv>
#include <cstring>

namespace quillon {
namespace {

std::optional<pid_t> pidWrittenIn(int fd) {
  char text[32] = {};
  const ssize_t got = ::pread(fd, text, sizeof text - 1, 0);
  if (got <= 0) return std::nullopt;
  long value = 0;
  const auto [end, error] = std::from_chars(text, text + got, value);
  if (error != std::errc() || value <= 0 || (end != text + got && *end != '\n')) return std::nullopt;
  return static_cast<pid_t>(value);
}

void writeOwnPid(int fd) {
  const std::string text = std::to_string(::getpid()) + "\n";
  // Only for the message of a second run: a failure here does not stop this one.
  if (::ftruncate(fd, 0) != 0) return;
  [[maybe_unused]] const ssize_t written = ::pwrite(fd, text.data(), text.size(), 0);
}

}  // namespace

// The holder removes the file before it lets go; a run that opened it meanwhile then holds a
// lock on a file no longer in the folder, and must open it again.
bool isTheFolderFile(int fd, const std::filesystem::path& file) {
  struct stat opened {};
  struct stat named {};
  return ::fstat(fd, &opened) == 0 && ::stat(file.c_str(), &named) == 0 && opened.st_dev == named.st_dev &&
         opened.st_ino == named.st_ino;
}

ProgramFolderLock::~ProgramFolderLock() {
  // Removed while still held, so that the user's folder keeps nothing of the run but its save.
  ::unlink(file_.c_str());
  ::close(fd_);  // releases the lock
}

ProgramFolderLock::Attempt ProgramFolderLock::Take(const std::filesystem::path& programFolder) {
  const std::filesystem::path file = programFolder / kProgramFolderLockName;
  for (int tries = 0;; ++tries) {
    std::optional<Attempt> attempt = TakeOnce(file);
    if (attempt) return std::move(*attempt);
    assert(tries < 100 && "the lock file keeps being removed under this run");
  }
}

// Empty when the locked file was removed by its previous holder meanwhile: take it again.
std::optional<ProgramFolderLock::Attempt> ProgramFolderLock::TakeOnce(const std::filesystem::path& file) {
  Attempt attempt;
  const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) {
    attempt.error = "the lock file " + file.string() + " cannot be opened (" + std::strerror(errno) + ")";
    return attempt;
  }
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    const int why = errno;
    if (why == EWOULDBLOCK) {
      attempt.heldByAnother = true;
      attempt.holder = pidWrittenIn(fd);
    } else {
      attempt.error = "the lock file " + file.string() + " cannot be locked (" + std::strerror(why) + ")";
    }
    ::close(fd);
    return attempt;
  }
  if (!isTheFolderFile(fd, file)) {
    ::close(fd);
    return std::nullopt;
  }
  writeOwnPid(fd);
  attempt.lock.reset(new ProgramFolderLock(fd, file));
  return attempt;
}

}  // namespace quillon
