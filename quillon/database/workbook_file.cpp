#include "quillon/database/workbook_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "platform/db/db_error.h"

namespace quillon {
namespace fs = std::filesystem;

namespace {

void makeWritable(const fs::path& path) {
  std::error_code ignored;
  fs::permissions(path, fs::perms::owner_write, fs::perm_options::add, ignored);
}

// The workbook is built with commits that need not reach the disk; it does before it is published.
void flushToDisk(const fs::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw fs::filesystem_error("cannot open for flushing", path, std::error_code(errno, std::generic_category()));
  const int rc = ::fsync(fd);
  const int error = errno;
  ::close(fd);
  if (rc != 0) throw fs::filesystem_error("cannot flush", path, std::error_code(error, std::generic_category()));
}

}  // namespace

void StartWorkbookFromTemplate(const fs::path& templateFile, const fs::path& partial) {
  if (!fs::is_regular_file(templateFile))
    throw platform::db::DbError("The workbook template " + templateFile.string() + " is missing.");
  fs::copy_file(templateFile, partial, fs::copy_options::overwrite_existing);
  makeWritable(partial);
}

void PublishWorkbook(const fs::path& partial, const fs::path& target) {
  flushToDisk(partial);
  if (fs::exists(target)) makeWritable(target);
  fs::rename(partial, target);
  fs::permissions(target, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
}

}  // namespace quillon
