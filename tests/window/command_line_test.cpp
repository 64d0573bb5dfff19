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
  EXPECT_EQ(p.options.switches.CommandLine, "/l /f");
  EXPECT_TRUE(p.options.switches.skipsArchive);
  EXPECT_TRUE(p.options.switches.forcesWideRequests);

  const LaunchParse defaults = parse({});
  EXPECT_EQ(defaults.options.destIp, "255.255.255.255");
  EXPECT_EQ(defaults.options.destPort, 22359);
  EXPECT_EQ(defaults.options.myPort, 22359);
  EXPECT_EQ(defaults.options.switches.CommandLine, "");

  // After "--" or the first word that is no option, everything belongs to `CommandLine`.
  EXPECT_EQ(parse({"--", "--headless", "/f"}).options.switches.CommandLine, "--headless /f");
  EXPECT_FALSE(parse({"--", "--headless"}).options.headless);
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
  // An option after the switches is refused, not taken for a switch: the run would otherwise
  // go to the broadcast address without its --drive.
  EXPECT_NE(parse({"/l", "--headless"}).usageError, "");
  EXPECT_NE(parse({"/l", "--drive", "10.0.0.7"}).usageError.find("--drive"), std::string::npos);
  EXPECT_NE(parse({"--headless", "/l", "/f", "-h"}).usageError, "");
  EXPECT_EQ(parse({"--help"}).usageError, "");
  EXPECT_TRUE(parse({"--help"}).options.showHelp);
  EXPECT_TRUE(parse({"-h"}).options.showHelp);
  EXPECT_TRUE(parse({"--version"}).options.showVersion);
  EXPECT_NE(UsageText().find("--headless"), std::string::npos);
  EXPECT_NE(UsageText().find("--version"), std::string::npos);
}

TEST(CommandLine, DbLoadOptionTicksTheBox) {
  const LaunchParse ticked = ParseLaunchOptions({"--headless", "--simulate", "--db-load", "/l"});
  EXPECT_EQ(ticked.usageError, "");
  EXPECT_TRUE(ticked.options.dbLoad);
  EXPECT_EQ(ticked.options.switches.CommandLine, "/l");
  EXPECT_FALSE(ParseLaunchOptions({"--headless", "/l"}).options.dbLoad);
  EXPECT_NE(ParseLaunchOptions({"--db-load=yes"}).usageError, "");
  EXPECT_EQ(ParseLaunchOptions({"--", "--db-load"}).options.switches.CommandLine, "--db-load");  // a switch, not the option
  EXPECT_NE(UsageText().find("--db-load"), std::string::npos);
}

TEST(CommandLine, CodePageByAnyIconvNameThatCarriesTheDrivesReplies) {
  EXPECT_EQ(parse({}).options.codePage.name(), "windows-1252");
  for (const char* name : {"CP932", "SHIFT_JIS", "SJIS", "windows-1252", "CP1252"}) {
    const LaunchParse p = parse({"--codepage", name, "/l"});
    EXPECT_EQ(p.usageError, "") << name;
    EXPECT_EQ(p.options.codePage.name(), name);
  }
  EXPECT_EQ(parse({"--codepage=CP932"}).options.codePage.toAnsi("\xE3\x81\x82"), "\x82\xA0");
  const std::string unknown = parse({"--codepage", "no-such-code-page"}).usageError;
  EXPECT_NE(unknown.find("does not know the code page \"no-such-code-page\""), std::string::npos) << unknown;
  EXPECT_NE(parse({"--codepage", "UTF-16"}).usageError.find("cannot carry"), std::string::npos);
  EXPECT_NE(parse({"--codepage", ""}).usageError, "");
}

}  // namespace
