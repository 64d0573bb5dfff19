#include "quillon/database/workbook_file.h"

#include <stdexcept>
#include <system_error>

#include "platform/db/db_error.h"
#include "platform/shell/complete_file.h"

namespace quillon {
namespace fs = std::filesystem;

namespace {

void makeWritable(const fs::path& path) {
  std::error_code ignored;
  fs::permissions(path, fs::perms::owner_write, fs::perm_options::add, ignored);
}

}  // namespace

void StartWorkbookFromTemplate(const fs::path& templateFile, const fs::path& partial) {
  if (!fs::is_regular_file(templateFile))
    throw platform::db::DbError("The workbook template " + templateFile.string() + " is missing.");
  fs::copy_file(templateFile, partial, fs::copy_options::overwrite_existing);
  makeWritable(partial);
}

void PublishWorkbook(const fs::path& partial, const fs::path& target) {
  // The workbook is built with commits that need not reach the disk; it does before it takes its name.
  if (const std::string failure = platform::shell::PublishCompleteFile(partial, target); !failure.empty())
    throw std::runtime_error(failure);
  fs::permissions(target, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
}

}  // namespace quillon
