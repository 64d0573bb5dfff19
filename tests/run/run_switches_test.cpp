#include "quillon/run/run_switches.h"

#include <gtest/gtest.h>

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

}  // namespace
