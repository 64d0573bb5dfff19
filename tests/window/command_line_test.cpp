#include "quillon/window/command_line.h"

#include <gtest/gtest.h>

namespace {
using namespace quillon;

LaunchParse parse(std::vector<std::string> args) { return ParseLaunchOptions(args); }

TEST(CommandLine, LinuxOptionsFirstThenTheWordsJoinedByOneBlank) {
  const LaunchParse p = parse({"--headless", "--simulate", "--documents", "/tmp/d", "--port=0", "/l", "/f"});
  ASSERT_EQ(p.usageError, "");
  EXPECT_TRUE(p.options.headless);
  EXPECT_TRUE(p.options.simulate);
  EXPECT_EQ(p.options.documents, std::filesystem::path("/tmp/d"));
  EXPECT_EQ(p.options.myPort, 0);
  EXPECT_EQ(p.options.CommandLine, "/l /f");

  const LaunchParse defaults = parse({});
  EXPECT_EQ(defaults.options.destIp, "255.255.255.255");
  EXPECT_EQ(defaults.options.destPort, 22359);
  EXPECT_EQ(defaults.options.myPort, 22359);
  EXPECT_EQ(defaults.options.CommandLine, "");

  // After "--" or the first word that is no option, everything belongs to `CommandLine`.
  EXPECT_EQ(parse({"--", "--headless", "/f"}).options.CommandLine, "--headless /f");
  EXPECT_FALSE(parse({"--", "--headless"}).options.headless);
  EXPECT_EQ(parse({"/l", "--headless"}).options.CommandLine, "/l --headless");
  EXPECT_EQ(parse({"--drive", "10.0.0.7", "--drive-port", "5000", "x"}).options.destIp, "10.0.0.7");
  EXPECT_EQ(parse({"--drive-port=5000"}).options.destPort, 5000);
}

TEST(CommandLine, UsageErrors) {
  EXPECT_NE(parse({"--bogus"}).usageError, "");
  EXPECT_NE(parse({"--drive"}).usageError, "");
  EXPECT_NE(parse({"--drive-port", "0"}).usageError, "");
  EXPECT_NE(parse({"--drive-port", "65536"}).usageError, "");
  EXPECT_NE(parse({"--port", "12x"}).usageError, "");
  EXPECT_NE(parse({"--headless=1"}).usageError, "");
  EXPECT_NE(parse({"--simulate", "--drive", "10.1.1.1"}).usageError, "");
  EXPECT_NE(parse({"--yes"}).usageError, "");
  EXPECT_EQ(parse({"--help"}).usageError, "");
  EXPECT_TRUE(parse({"--help"}).options.showHelp);
  EXPECT_NE(UsageText().find("--headless"), std::string::npos);
}

TEST(CommandLine, TheFourTestsOfTheSwitches) {
  // "/l": DB Load shown, last fault only, no archive.
  EXPECT_TRUE(ShowsDbLoad("/l"));
  EXPECT_TRUE(IsLastFaultOnly("/l"));
  EXPECT_TRUE(SkipsArchive("/l"));
  EXPECT_FALSE(ForcesWideRequests("/l"));
  // "/l /f": all banks, no archive, wide requests.
  EXPECT_TRUE(ShowsDbLoad("/l /f"));
  EXPECT_FALSE(IsLastFaultOnly("/l /f"));
  EXPECT_TRUE(SkipsArchive("/l /f"));
  EXPECT_TRUE(ForcesWideRequests("/l /f"));
  // "/f /l": contains "/l" but neither is nor begins with it.
  EXPECT_TRUE(ShowsDbLoad("/f /l"));
  EXPECT_FALSE(IsLastFaultOnly("/f /l"));
  EXPECT_FALSE(SkipsArchive("/f /l"));
  EXPECT_FALSE(ForcesWideRequests("/f /l"));
  // Case-sensitive; a trailing blank is part of the line.
  EXPECT_FALSE(ShowsDbLoad("/L"));
  EXPECT_FALSE(IsLastFaultOnly("/l "));
  EXPECT_TRUE(SkipsArchive("/l "));
  EXPECT_FALSE(ForcesWideRequests("/F"));
  EXPECT_FALSE(ShowsDbLoad(""));
}

}  // namespace
