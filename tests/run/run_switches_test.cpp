#include "quillon/run/run_switches.h"

#include <gtest/gtest.h>

#include "quillon/run/sample_plan.h"

namespace {
using namespace quillon;

TEST(RunSwitches, TheFourTestsOfTheCommandLine) {
  // "/l": DB Load shown, last fault only, no archive.
  const RunSwitches l = RunSwitches::Of("/l");
  EXPECT_TRUE(l.showsDbLoad);
  EXPECT_TRUE(l.lastFaultOnly);
  EXPECT_TRUE(l.skipsArchive);
  EXPECT_FALSE(l.forcesWideRequests);
  EXPECT_EQ(l.CommandLine, "/l");
  // "/l /f": all banks, no archive, wide requests.
  const RunSwitches lf = RunSwitches::Of("/l /f");
  EXPECT_TRUE(lf.showsDbLoad);
  EXPECT_FALSE(lf.lastFaultOnly);
  EXPECT_TRUE(lf.skipsArchive);
  EXPECT_TRUE(lf.forcesWideRequests);
  // "/f /l": contains "/l" but neither is nor begins with it.
  const RunSwitches fl = RunSwitches::Of("/f /l");
  EXPECT_TRUE(fl.showsDbLoad);
  EXPECT_FALSE(fl.lastFaultOnly);
  EXPECT_FALSE(fl.skipsArchive);
  EXPECT_FALSE(fl.forcesWideRequests);
  // Case-sensitive; a blank is part of the line.
  EXPECT_FALSE(RunSwitches::Of("/L").showsDbLoad);
  EXPECT_FALSE(RunSwitches::Of("/l ").lastFaultOnly);
  EXPECT_FALSE(RunSwitches::Of(" /l").lastFaultOnly);
  EXPECT_TRUE(RunSwitches::Of("/l ").skipsArchive);
  EXPECT_FALSE(RunSwitches::Of("/F").forcesWideRequests);
  EXPECT_FALSE(RunSwitches::Of("").showsDbLoad);
}

TEST(SamplePlan, VariantByLevelMinorTypeAndSwitch) {
  struct Case {
    int level, minor;
    const char *type, *commandLine;
    SampleVariant variant;
  };
  for (const Case& c : {
           Case{5, 9, "RX-Jarn", "/f", SampleVariant::Narrow16},  // below level 6 always 16-bit
           Case{6, 1, "RX-Jarn", "/f", SampleVariant::Block32},   // minor 1 never wide
           Case{6, 1, "RX-Brin", "/f", SampleVariant::Block32},
           Case{6, 2, "RX-Jarn", "", SampleVariant::Wide32},
           Case{7, 2, "RX-Fenn2", "", SampleVariant::Wide32},     // "begins with"
           Case{6, 2, "RX-Hald", "", SampleVariant::Wide32},
           Case{6, 2, " RX-Hald", "", SampleVariant::Block32},
           Case{6, 2, "RX-Brin", "", SampleVariant::Block32},
           Case{6, 2, "RX-Brin", "/l /f", SampleVariant::Wide32},  // ends with "/f"
           Case{6, 2, "RX-Brin", "/f /l", SampleVariant::Block32},
       }) {
    EXPECT_EQ(ChooseSampleVariant(c.level, c.minor, c.type, RunSwitches::Of(c.commandLine).forcesWideRequests), c.variant)
        << c.type << " level " << c.level << "." << c.minor << " \"" << c.commandLine << "\"";
  }
}

}  // namespace
