#include "quillon/window/headless_printer.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {
using namespace quillon;

TEST(HeadlessPrinter, StepLinesAndTheProgressLine) {
  WindowControls controls;
  controls.Label3.setCaption("Connecting to Drive");
  controls.Label1.setCaption("Receiving Trace Back Data");
  controls.Label9.setCaption("0");
  controls.Label10.setCaption(" / 0 bank(s)");

  std::ostringstream plain;
  HeadlessPrinter toFile(controls, plain, false);
  controls.setObserver([&](const Control& c) { toFile.controlChanged(c); });
  controls.cmd_Start.setEnabled(false);
  controls.Label7.setCaption(">>");
  controls.Label11.setCaption("DriveType = \"RX-Ardo\"");
  controls.Label7.setCaption("Done>");
  controls.Label5.setCaption(">>");
  controls.Label10.setCaption(" / 2 bank(s)");
  controls.Label9.setCaption("1");
  controls.shpScale.setWidth(controls.shpBox.width() / 2);  // no progress line into a file
  controls.Label4.setCaption("Waring : No Trace Bank Data Received.");
  controls.Label7.setCaption("");  // Reset: nothing to print
  EXPECT_EQ(plain.str(),
            "Connecting to Drive >>\n"
            "DriveType = \"RX-Ardo\"\n"
            "Connecting to Drive Done>\n"
            "Receiving Trace Back Data >>\n"
            "Banks 0 / 2 bank(s)\n"
            "Bank 1 / 2 bank(s)\n"
            "Waring : No Trace Bank Data Received.\n");

  std::ostringstream tty;
  HeadlessPrinter toTerminal(controls, tty, true);
  controls.setObserver([&](const Control& c) { toTerminal.controlChanged(c); });
  controls.shpScale.setWidth(controls.shpBox.width() * 3 / 4);
  controls.Label9.setCaption("2");
  controls.Label5.setCaption("Done>");
  EXPECT_EQ(tty.str(),
            "\r\033[K  1 / 2 bank(s)  75%"
            "\r\033[K  2 / 2 bank(s)  75%"
            "\r\033[K"
            "Receiving Trace Back Data Done>\n");
}

}  // namespace
