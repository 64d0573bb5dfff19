#include "quillon/window/command_line.h"

#include <gtest/gtest.h>

namespace {
using namespace quillon;

LaunchParse parse(std::vector<std::string> args) { return ParseLaunchOptions(args); }

TEST(CommandLine, LinuxOptionsFirstThenTheWordsJoinedByOneBlank) {
  const LaunchParse p = parse({"--headless", "--simulate", "--db-load", "--documents", "/tmp/d", "--port=0", "/l", "/f"});
  ASSERT_EQ(p.usageError, "");
  EXPECT_TRUE(p.options.headless);
  EXPECT_TRUE(p.options.simulate);
  EXPECT_TRUE(p.options.dbLoad);
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
  EXPECT_FALSE(defaults.options.dbLoad);

  // After "--" or the first word that is no option, the words are the switches.
  EXPECT_EQ(parse({"--", "/l", "/f"}).options.switches.CommandLine, "/l /f");
  EXPECT_EQ(parse({"--drive", "10.0.0.7", "--drive-port", "5000", "/f"}).options.destIp, "10.0.0.7");
  EXPECT_EQ(parse({"--drive-port=5000"}).options.destPort, 5000);
}

TEST(CommandLine, UsageErrors) {
  // An option after the switches is refused, not taken for a switch: the run would otherwise
  // go to the broadcast address without its --drive.
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--bogus"}, {"--drive"}, {"--drive-port", "0"}, {"--drive-port", "65536"}, {"--port", "12x"},
           {"--headless=1"}, {"--simulate", "--drive", "10.1.1.1"}, {"--yes"}, {"--db-load=yes"},
           {"/l", "--headless"}, {"--headless", "/l", "/f", "-h"},
           // A typo or an order the help does not name would change silently what is saved.
           {"-x"}, {"/L"}, {"/l", "/x"}, {"x"}, {"/f", "/l"}, {"/l", "/l"}, {"/f", "/f"}, {"--", "--headless"}})
    EXPECT_NE(parse(args).usageError, "") << args[0] << " " << args.back();
  EXPECT_NE(parse({"/l", "/x"}).usageError.find("\"/x\""), std::string::npos);
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"/l"}, {"/f"}, {"/l", "/f"}})
    EXPECT_EQ(parse(args).usageError, "") << args[0];
  EXPECT_NE(parse({"/l", "--drive", "10.0.0.7"}).usageError.find("--drive"), std::string::npos);
  EXPECT_EQ(parse({"--help"}).usageError, "");
  EXPECT_TRUE(parse({"--help"}).options.showHelp);
  EXPECT_TRUE(parse({"-h"}).options.showHelp);
  EXPECT_TRUE(parse({"--version"}).options.showVersion);
  for (const char* option : {"--headless", "--version", "--db-load"})
    EXPECT_NE(UsageText().find(option), std::string::npos) << option;
}

TEST(CommandLine, SeveralDrivesEachKeptAndRefusedWhereTheyCannotRunApart) {
  const LaunchParse p = parse({"--headless", "--drive", "192.0.2.11", "--drive=192.0.2.12", "--jobs", "4", "--port", "0"});
  ASSERT_EQ(p.usageError, "");
  EXPECT_EQ(p.options.drives, (std::vector<std::string>{"192.0.2.11", "192.0.2.12"}));
  EXPECT_EQ(p.options.jobs, 4);
  EXPECT_EQ(parse({"--headless", "--simulate", "--simulate-count", "3"}).options.simulateCount, 3);
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--drive", "a", "--drive", "b"}, {"--all"}, {"--simulate", "--simulate-count", "2"}})
    EXPECT_EQ(parse(args).usageError, "") << "the window saves them: " << args.front();
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--headless", "--drive", "a", "--drive", "a"},      // one drive asked by two runs
           {"--headless", "--drive", "a", "--drive", "b", "--port", "22359"},
           {"--simulate-count", "2"}, {"--headless", "--simulate", "--simulate-count", "0"},
           {"--headless", "--simulate", "--simulate-count", "2", "--simulate-type", "RX-Brin"}, {"--jobs", "0"}})
    EXPECT_NE(parse(args).usageError, "") << args.back();
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
