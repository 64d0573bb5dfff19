#include "quillon/run/program_folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
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

// True while `fd` is the file at `path`: a run that ended may have removed it in between.
static bool stillThere(int fd, const std::filesystem::path& path) {
  struct stat open {}, named {};
  return ::fstat(fd, &open) == 0 && ::stat(path.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
         open.st_ino == named.st_ino;
}

ProgramFolderLock::~ProgramFolderLock() {
  // Removed while still held, so that the program folder keeps nothing of the run; a run that
  // opened it meanwhile sees it gone and takes a new one.
  ::unlink(file_.c_str());
  ::close(fd_);  // releases the lock
}

ProgramFolderLock::Attempt ProgramFolderLock::Take(const std::filesystem::path& programFolder) {
  Attempt attempt;
  const std::filesystem::path file = programFolder / kProgramFolderLockName;
  for (;;) {
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
      attempt.error = "the lock file " + file.string() + " cannot be opened (" + std::strerror(errno) + ")";
      return attempt;
    }
    int locked = 0;
    while ((locked = ::flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (locked != 0) {
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
    if (!stillThere(fd, file)) {
      ::close(fd);  // the run that held it has just ended: take the next one
      continue;
    }
    writeOwnPid(fd);
    attempt.lock.reset(new ProgramFolderLock(fd, file));
    return attempt;
  }
}

}  // namespace quillon
