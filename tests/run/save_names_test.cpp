#include "quillon/run/save_names.h"

#include <gtest/gtest.h>

#include "tests/run/run_rig.h"

namespace {
using namespace quillon;

TEST(SaveNames, DatedNameAndPackCommand) {
  std::tm t = quillon_test::February3rd();
  EXPECT_EQ(DatedSaveName(t), "TRBSAVE_20260203_090507");
  t.tm_mon = 11;
  t.tm_mday = 31;
  t.tm_hour = 23;
  t.tm_min = 59;
  t.tm_sec = 58;
  EXPECT_EQ(DatedSaveName(t), "TRBSAVE_20261231_235958");

  EXPECT_EQ(PackCommand("/home/u/Documents/Quillon/TRBSAVE_20260203_090507.lzh", "/home/u/Documents/Quillon/TRBSAVE"),
            "a \"/home/u/Documents/Quillon/TRBSAVE_20260203_090507.lzh\" \"/home/u/Documents/Quillon/TRBSAVE\"\\ *.* -d -n1 -gm1");
}

TEST(SaveNames, SafePanelNameKeepsEveryNameInsideItsFolder) {
  EXPECT_EQ(SafePanelNameOf("LINE1   "), "LINE1");
  EXPECT_EQ(SafePanelNameOf("  A B "), "  A B");
  EXPECT_EQ(SafePanelNameOf("a\\b/c*d?e<f>g|h\"i:j;k"), "a_b_c_d_e_f_g_h_i_j_k");
  EXPECT_EQ(SafePanelNameOf("top\r\nbottom"), "top_bottom");
  EXPECT_EQ(SafePanelNameOf("../../etc"), ".._.._etc");
  EXPECT_EQ(SafePanelNameOf(".."), "__");
  EXPECT_EQ(SafePanelNameOf(std::string("a\0b", 3)), "a_b");
  EXPECT_EQ(SafePanelNameOf("   "), "");
  // Blanks are trimmed before the replacements: a trailing ";" becomes "_" and stays.
  EXPECT_EQ(SafePanelNameOf("P1; "), "P1_");
}

}  // namespace
