#pragma once
// One run at a time per program folder: an advisory lock (flock) on a file in the folder, held
// from the folder check to the end of the run. Two runs into one folder would otherwise write
// one working folder and pack both drives' files into one archive. The lock belongs to the
// open file, so it also keeps apart two runs in one process and goes with a process that dies.
#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace quillon {

inline constexpr const char* kProgramFolderLockName = ".quillon-run.lock";

class ProgramFolderLock {
 public:
  ~ProgramFolderLock();
  ProgramFolderLock(const ProgramFolderLock&) = delete;
  ProgramFolderLock& operator=(const ProgramFolderLock&) = delete;

  struct Attempt {
    std::unique_ptr<ProgramFolderLock> lock;  // null when not taken
    bool heldByAnother = false;               // another run holds it
    std::optional<pid_t> holder;              // that run's process, as it wrote it
    std::string error;                        // why the lock file could not be used
  };
  // Takes the lock of `programFolder` without waiting, and writes this process's id into it.
  static Attempt Take(const std::filesystem::path& programFolder);

 private:
  ProgramFolderLock(int fd, std::filesystem::path file) : fd_(fd), file_(std::move(file)) {}
  static std::optional<Attempt> TakeOnce(const std::filesystem::path& file);
  int fd_;
  std::filesystem::path file_;
};

}  // namespace quillon
