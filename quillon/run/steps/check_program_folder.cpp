// Before the first request: the program folder can be made and written, no other run holds
// it, and the templates are there. A run that would only find out at its first file has spent the drive's time for
// nothing and tells a muddle of half-written files; this one ends with the reason and sends
// nothing.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "platform/shell/folders.h"
#include "quillon/convert/convert_save_folder.h"
#include "quillon/database/trace_workbook.h"
#include "quillon/run/program_folder_lock.h"
#include "quillon/run/save_sequence.h"

namespace quillon {
namespace fs = std::filesystem;
namespace {

constexpr const char* kNothingAsked = ", so the run does not start and nothing is asked of the drive.";

// Writes and removes a scratch file; empty text, or the system's reason.
std::string writeScratchFile(const fs::path& folder) {
  const fs::path scratch = folder / (".quillon-write-check-" + std::to_string(::getpid()));
  const int fd = ::open(scratch.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return std::strerror(errno);
  constexpr char kBytes[] = "write check\n";
  const bool written = ::write(fd, kBytes, sizeof kBytes - 1) == static_cast<ssize_t>(sizeof kBytes - 1);
  const int writeError = errno;
  const bool closed = ::close(fd) == 0;
  const int closeError = errno;
  const bool removed = ::unlink(scratch.c_str()) == 0;
  if (!written) return std::strerror(writeError);
  if (!closed) return std::strerror(closeError);
  if (!removed) return std::strerror(errno);
  return {};
}

std::string missingTemplate(const fs::path& folder) {
  for (const char* name : {kTraceTemplateName, kSetpointTemplateName}) {
    const fs::path file = folder / name;
    std::error_code ignored;
    if (!fs::is_regular_file(file, ignored)) return file.string() + " is missing";
    if (!std::ifstream(file, std::ios::binary).is_open()) return file.string() + " cannot be read (" + std::strerror(errno) + ")";
  }
  return {};
}

}  // namespace

StepState CheckProgramFolder(RunContext& run) {
  const fs::path& folder = run.folders.AppFolder;
  if (const std::string failure = platform::shell::CreateFolder(folder); !failure.empty()) {
    run.fail(failure + kNothingAsked + " Choose another documents folder with --documents.");
    return StepState::Failed;
  }
  if (const std::string why = writeScratchFile(folder); !why.empty()) {
    run.fail("The program folder " + folder.string() + " cannot be written (" + why + ")" + kNothingAsked +
             " Make it writable, or choose another documents folder with --documents.");
    return StepState::Failed;
  }
  ProgramFolderLock::Attempt lock = ProgramFolderLock::Take(folder);
  if (lock.heldByAnother) {
    const std::string process = lock.holder ? " (process " + std::to_string(*lock.holder) + ")" : std::string();
    run.fail("Another save" + process + " is running in " + folder.string() + kNothingAsked);
    return StepState::Failed;
  }
  if (!lock.lock) {
    run.fail("The program folder " + folder.string() + " cannot be kept for this run: " + lock.error + kNothingAsked);
    return StepState::Failed;
  }
  run.programFolderLock = std::move(lock.lock);
  if (const std::string why = missingTemplate(run.folders.templateFolder); !why.empty()) {
    run.fail("The workbook template " + why + kNothingAsked + " Reinstall the program.");
    return StepState::Failed;
  }
  return StepState::Done;
}

}  // namespace quillon
