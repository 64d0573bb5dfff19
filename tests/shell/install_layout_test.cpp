// Where things are found: an installed program and a build-tree program find their module and
// templates from their own location only, never from another tree; the documents folder
// follows the user's own settings.
#include "platform/shell/install_layout.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/shell/documents_folder.h"

namespace {
namespace fs = std::filesystem;
using platform::shell::DocumentsDirFromUserDirs;
using platform::shell::DocumentsFolder;
using platform::shell::TemplateFolderOf;
using platform::shell::VelkorModuleOf;

void touch(const fs::path& file) {
  fs::create_directories(file.parent_path());
  std::ofstream(file) << "x";
}

struct Locations : testing::Test {
  const fs::path base = fs::temp_directory_path() / ("quillon_layout_" + std::to_string(::getpid()));
  void SetUp() override { fs::remove_all(base); }
  void TearDown() override { fs::remove_all(base); }
};

TEST_F(Locations, InstalledProgramLooksUnderItsPrefixOnly) {
  const fs::path prefix = base / "usr";
  const fs::path program = prefix / "bin" / "quillon";
  touch(program);
  EXPECT_FALSE(VelkorModuleOf(program));
  EXPECT_FALSE(TemplateFolderOf(program));

  // A build tree beside the prefix is none of the installed program's business.
  touch(base / "build" / "CMakeCache.txt");
  touch(base / "build" / "velkor" / "module" / "libvelkor.so");
  touch(base / "build" / "templates" / "TRB_TMP.mdb");
  EXPECT_FALSE(VelkorModuleOf(program));
  EXPECT_FALSE(TemplateFolderOf(program));

  touch(prefix / QUILLON_TEST_MODULE_DIR / "libvelkor.so");
  touch(prefix / QUILLON_TEST_DATA_DIR / "TRB_TMP.mdb");
  EXPECT_EQ(VelkorModuleOf(program), prefix / QUILLON_TEST_MODULE_DIR / "libvelkor.so");
  EXPECT_EQ(TemplateFolderOf(program), prefix / QUILLON_TEST_DATA_DIR);
  // velkor-module sits beside quillon and finds the same module.
  EXPECT_EQ(VelkorModuleOf(prefix / "bin" / "velkor-module"), VelkorModuleOf(program));
  // A program outside a bin folder is not taken for an installed one.
  EXPECT_FALSE(VelkorModuleOf(prefix / "sbin" / "quillon"));
}

TEST_F(Locations, BuildTreeProgramLooksInItsOwnTree) {
  const fs::path tree = base / "one" / "build";
  touch(tree / "CMakeCache.txt");
  touch(tree / "velkor" / "module" / "libvelkor.so");
  touch(tree / "templates" / "TRB_TMP.mdb");
  touch(base / "two" / "build" / "CMakeCache.txt");
  touch(base / "two" / "build" / "velkor" / "module" / "libvelkor.so");

  for (const fs::path& program : {tree / "quillon" / "window" / "quillon", tree / "velkor" / "module" / "velkor-module",
                                  tree / "tests" / "exchange" / "exchange_tests"}) {
    EXPECT_EQ(VelkorModuleOf(program), tree / "velkor" / "module" / "libvelkor.so") << program;
    EXPECT_EQ(TemplateFolderOf(program), tree / "templates") << program;
  }
  // The other tree has no templates: nothing of the first tree is lent to it.
  const fs::path other = base / "two" / "build" / "quillon" / "window" / "quillon";
  EXPECT_EQ(VelkorModuleOf(other), base / "two" / "build" / "velkor" / "module" / "libvelkor.so");
  EXPECT_FALSE(TemplateFolderOf(other));
}

TEST(RunningProgram, IsThisTestInItsBuildTree) {
  const fs::path program = platform::shell::RunningProgram();
  ASSERT_FALSE(program.empty());
  EXPECT_TRUE(fs::equivalent(program.parent_path(), fs::path(QUILLON_BINARY_DIR) / "tests" / "shell"));
  EXPECT_EQ(TemplateFolderOf(program), fs::path(QUILLON_BINARY_DIR) / "templates");
}

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

TEST_F(Locations, DocumentsFolderIsTheOverrideThenUserDirsThenHomeDocuments) {
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
}

}  // namespace
