#include "platform/shell/folders.h"

#include <system_error>

namespace platform::shell {
namespace fs = std::filesystem;
namespace {

std::string failure(const char* what, const fs::path& path, const std::error_code& error) {
  return std::string(what) + " \"" + path.string() + "\": " + error.message();
}

bool isDirectoryNoFollow(const fs::path& path) {
  std::error_code error;
  return fs::symlink_status(path, error).type() == fs::file_type::directory;
}

void makeOwnerWritable(const fs::path& path, std::error_code& error) {
  if (fs::is_symlink(fs::symlink_status(path, error))) return;  // never follow out of the tree
  fs::permissions(path, fs::perms::owner_write | fs::perms::owner_read |
                            (isDirectoryNoFollow(path) ? fs::perms::owner_exec : fs::perms::none),
                  fs::perm_options::add, error);
}

// Walks the tree without following symbolic links, so nothing outside it is touched.
std::string makeTreeWritable(const fs::path& folder) {
  std::error_code error;
  makeOwnerWritable(folder, error);
  if (error) return failure("Cannot change the attributes of", folder, error);
  fs::recursive_directory_iterator it(folder, fs::directory_options::none, error);
  if (error) return failure("Cannot list", folder, error);
  for (const fs::recursive_directory_iterator end; it != end; it.increment(error)) {
    if (error) return failure("Cannot list", folder, error);
    makeOwnerWritable(it->path(), error);
    if (error) return failure("Cannot change the attributes of", it->path(), error);
  }
  return {};
}

}  // namespace

bool FolderExists(const fs::path& folder) {
  std::error_code error;
  return fs::is_directory(folder, error);
}

std::string CreateFolder(const fs::path& folder) {
  std::error_code error;
  fs::create_directories(folder, error);
  if (error) return failure("Cannot create the folder", folder, error);
  if (!FolderExists(folder)) return "Cannot create the folder \"" + folder.string() + "\": a file of that name exists";
  return {};
}

std::string DeleteFolder(const fs::path& folder, bool force) {
  if (!FolderExists(folder)) return {};
  if (force) {
    if (std::string message = makeTreeWritable(folder); !message.empty()) return message;
  }
  std::error_code error;
  fs::remove_all(folder, error);
  if (error) return failure("Cannot delete the folder", folder, error);
  return {};
}

std::string MoveFolder(const fs::path& from, const fs::path& to) {
  std::error_code error;
  if (fs::exists(fs::symlink_status(to, error)))
    return "Cannot move the folder \"" + from.string() + "\": \"" + to.string() + "\" already exists";
  fs::rename(from, to, error);
  if (!error) return {};
  if (error != std::errc::cross_device_link) return failure("Cannot move the folder", from, error);
  fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::copy_symlinks, error);
  if (error) return failure("Cannot copy the folder", from, error);
  return DeleteFolder(from, true);
}

bool IsReadOnly(const fs::path& entry) {
  std::error_code error;
  const fs::file_status status = fs::status(entry, error);
  return !error && (status.permissions() & fs::perms::owner_write) == fs::perms::none;
}

std::string SetReadOnly(const fs::path& entry, bool readOnly) {
  std::error_code error;
  const fs::perms writeBits = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  if (readOnly)
    fs::permissions(entry, writeBits, fs::perm_options::remove, error);
  else
    fs::permissions(entry, fs::perms::owner_write, fs::perm_options::add, error);
  if (error) return failure("Cannot change the attributes of", entry, error);
  return {};
}

std::string SetAttributesNormal(const fs::path& folder) {
  if (!FolderExists(folder)) return {};
  return makeTreeWritable(folder);
}

}  // namespace platform::shell
