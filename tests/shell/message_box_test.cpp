#include "platform/shell/message_box.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {
using namespace platform::shell;

TEST(TerminalMessageBoxes, PrintsTextsAndAnswersAsConfigured) {
  EXPECT_EQ(WithUnixLineBreaks("Received \"NAK\"\r\nTool Error Code = 1Fh"),
            "Received \"NAK\"\nTool Error Code = 1Fh");
  EXPECT_EQ(WithUnixLineBreaks("a\rb\r\n\r\nc\r"), "a\nb\n\nc\n");

  std::ostringstream out;
  TerminalMessageBoxes no(out, false);
  no.showMessage("Timeout");
  EXPECT_FALSE(no.askYesNo("Complete\r\nOpen Folder?"));
  EXPECT_EQ(out.str(), "Timeout\nComplete\nOpen Folder? No\n");

  std::ostringstream out2;
  TerminalMessageBoxes yes(out2, true);
  EXPECT_TRUE(yes.askYesNo("Open Folder?"));
  EXPECT_EQ(out2.str(), "Open Folder? Yes\n");
}

}  // namespace
