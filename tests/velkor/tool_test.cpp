// velkor-module as a person would run it: register, list, draw, unregister, and the
// failures afterwards, in a private store.
#include <gtest/gtest.h>

#include <QImage>
#include <array>
#include <cstdio>
#include <filesystem>

#include "tests/velkor/host_support.h"


namespace {

const std::string kTool = QUILLON_BINARY_DIR "/velkor/module/velkor-module";

struct ToolRun {
  int status = -1;
  std::string output;
};

// `environment`: variable assignments put before the command.
ToolRun runWith(const std::string& environment, const std::string& args) {
  const std::string command = environment + " QT_QPA_PLATFORM=offscreen '" + kTool + "' " + args + " 2>&1";
  ToolRun r;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return r;
  std::array<char, 512> buf{};
  while (fgets(buf.data(), buf.size(), pipe)) r.output += buf.data();
  const int status = pclose(pipe);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

ToolRun run(const std::string& root, const std::string& args) { return runWith("QUILLON_REGISTRY='" + root + "'", args); }

}  // namespace

TEST(VelkorModuleTool, RegisterListDrawUnregister) {
  const auto root = std::filesystem::path(testing::TempDir()) / testhost::uniqueTempName("velkor_tool_registry");
  std::filesystem::remove_all(root);
  ASSERT_EQ(run(root, "register").status, 0);
  const ToolRun listed = run(root, "list");
  EXPECT_EQ(listed.status, 0);
  EXPECT_NE(listed.output.find("VELKOR.VelkorCtrl.1"), std::string::npos);
  EXPECT_NE(listed.output.find("OSTRIN.OstrinPropPage.1"), std::string::npos);
  EXPECT_NE(listed.output.find("libvelkor.so"), std::string::npos);

  const std::string png = (root / "udp.png").string();
  ASSERT_EQ(run(root, "draw VELKOR.VelkorCtrl.1 '" + png + "' 80x40").status, 0);
  EXPECT_EQ(QImage(QString::fromStdString(png)).size(), QSize(80, 40));
  EXPECT_EQ(run(root, "draw VELKOR.VelkorCtrl.1 '" + png + "' 80").status, 2);
  EXPECT_EQ(run(root, "bogus").status, 2);

  ASSERT_EQ(run(root, "unregister").status, 0);
  EXPECT_EQ(run(root, "list").output, "");
  const ToolRun after = run(root, "draw VELKOR.VelkorCtrl.1 '" + png + "'");
  EXPECT_EQ(after.status, 1);
  EXPECT_NE(after.output.find("unknown class"), std::string::npos);
  EXPECT_EQ(run(root, "--module /nonexistent/libvelkor.so register").status, 1);
  std::filesystem::remove_all(root);
}

TEST(VelkorModuleTool, RegistersForTheUserWithTheModulesAbsolutePath) {
  const auto base = std::filesystem::path(testing::TempDir()) / testhost::uniqueTempName("velkor_tool_user");
  std::filesystem::remove_all(base);
  const std::filesystem::path userStore = base / "quillon" / "registry";
  const std::string user = "env -u QUILLON_REGISTRY XDG_DATA_HOME='" + base.string() + "'";
  const std::string moduleFolder = std::filesystem::path(kTool).parent_path().string();

  // A relative --module is recorded as the absolute path a host can load from anywhere.
  const ToolRun registered = runWith("cd '" + moduleFolder + "' && " + user, "--module ./libvelkor.so register");
  ASSERT_EQ(registered.status, 0) << registered.output;
  EXPECT_NE(registered.output.find(userStore.string()), std::string::npos) << registered.output;
  const ToolRun listed = runWith(user, "list");
  EXPECT_NE(listed.output.find(userStore.string() + ":\n"), std::string::npos) << listed.output;
  EXPECT_NE(listed.output.find(" " + moduleFolder + "/libvelkor.so\n"), std::string::npos) << listed.output;

  // The system-wide store is only registered in and listed; drawing and pages are not its business.
  EXPECT_EQ(runWith(user, "--system draw VELKOR.VelkorCtrl.1 x.png").status, 2);
  EXPECT_EQ(runWith(user, "--module").status, 2);
  ASSERT_EQ(runWith(user, "unregister").status, 0);
  EXPECT_EQ(runWith(user, "list").output.find(userStore.string()), std::string::npos);
  std::filesystem::remove_all(base);
}
