#include "quillon/run/program_folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

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

ProgramFolderLock::~ProgramFolderLock() {
  // Emptied before it is let go, so that a stale id is never shown.
  [[maybe_unused]] const int emptied = ::ftruncate(fd_, 0);
  ::close(fd_);  // releases the lock
}

ProgramFolderLock::Attempt ProgramFolderLock::Take(const std::filesystem::path& programFolder) {
  Attempt attempt;
  const std::filesystem::path file = programFolder / kProgramFolderLockName;
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
  writeOwnPid(fd);
  attempt.lock.reset(new ProgramFolderLock(fd));
  return attempt;
}

}  // namespace quillon
