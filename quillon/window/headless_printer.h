#pragma once
// What a headless run shows instead of the window, from the run's events: one line per step
// change, the drive type, the banks found and one line per bank read ("Bank 2 (2 of 3)"),
// re-sends of a request that got no answer, the notices, and the closing message on the error
// stream (with where the data is when the run did not complete). On a terminal the bank being
// read, the database download and the memory reads are live lines (the first two with the
// bar's percentage), rewritten in place and ended on their final count; into a file or pipe a
// download or memory read gives a few lines at most.
#include <iosfwd>
#include <string>

#include "quillon/run/run_events.h"

namespace quillon {

class HeadlessPrinter : public RunListener {
 public:
  HeadlessPrinter(RunEvents& events, std::ostream& out, std::ostream& err, bool terminal);
  ~HeadlessPrinter() override;
  HeadlessPrinter(const HeadlessPrinter&) = delete;
  HeadlessPrinter& operator=(const HeadlessPrinter&) = delete;

  void onRunEvent(const RunEvent& event) override;

 private:
  void printLine(const std::string& text);
  void step(const StepChanged& change);
  void bank(const BankStarted& started);
  void blocks(const std::string& text, int block, int lastBlock, bool withBar);
  void resent(const RequestResent& resent);
  void answered();
  void progress(const ProgressMoved& moved);
  void ended(const RunEnded& ended);
  // The live line: shown on a terminal only, rewritten in place.
  void showLive(std::string text, bool withBar);
  void redrawLive();
  void endLive();

  RunEvents& events_;
  std::ostream& out_;
  std::ostream& err_;
  bool terminal_;
  std::string live_;        // the live line's text, without percentage and note
  std::string liveNote_;    // a re-send while the live line stands
  int percent_ = 0;
  bool liveShown_ = false;
  bool liveWithBar_ = true;  // the bar's percentage belongs to the banks and the download only
  int blockHalf_ = -1;      // the last half of a download or memory read printed into a file
  std::string lastBlockLine_;
};

}  // namespace quillon
