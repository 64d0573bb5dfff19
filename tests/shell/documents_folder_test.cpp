#include "platform/shell/documents_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {
namespace fs = std::filesystem;
using platform::shell::DocumentsDirFromUserDirs;
using platform::shell::DocumentsFolder;

TEST(DocumentsFolder, ReadsTheXdgEntryOfUserDirs) {
  const fs::path home = "/home/engineer";
  EXPECT_EQ(DocumentsDirFromUserDirs("# comment\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                                     "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n", home),
            fs::path("/home/engineer/Dokumente"));
  EXPECT_EQ(DocumentsDirFromUserDirs("XDG_DOCUMENTS_DIR=\"/srv/docs\"", home), fs::path("/srv/docs"));
  EXPECT_EQ(DocumentsDirFromUserDirs("XDG_DOCUMENTS_DIR=\"${HOME}/D\"\r\n", home),
            fs::path("/home/engineer/D"));
  // The home folder itself means "no documents folder"; relative and missing entries are ignored.
  EXPECT_FALSE(DocumentsDirFromUserDirs("XDG_DOCUMENTS_DIR=\"$HOME/\"", home));
  EXPECT_FALSE(DocumentsDirFromUserDirs("XDG_DOCUMENTS_DIR=\"docs\"", home));
  EXPECT_FALSE(DocumentsDirFromUserDirs("XDG_MUSIC_DIR=\"$HOME/Music\"", home));
  EXPECT_FALSE(DocumentsDirFromUserDirs("", home));
}

TEST(DocumentsFolder, OverrideThenUserDirsThenHomeDocuments) {
  const fs::path base = fs::temp_directory_path() / ("quillon_docs_" + std::to_string(::getpid()));
  fs::remove_all(base);
  fs::create_directories(base / "config");
  const std::string oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
  ::setenv("HOME", base.c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (base / "config").c_str(), 1);

  EXPECT_EQ(DocumentsFolder(), base / "Documents");
  std::ofstream(base / "config" / "user-dirs.dirs") << "XDG_DOCUMENTS_DIR=\"$HOME/Papers\"\n";
  EXPECT_EQ(DocumentsFolder(), base / "Papers");
  EXPECT_EQ(DocumentsFolder(base / "given" / ".." / "chosen"), base / "chosen");

  ::setenv("HOME", oldHome.c_str(), 1);
  ::unsetenv("XDG_CONFIG_HOME");
  fs::remove_all(base);
}

}  // namespace
