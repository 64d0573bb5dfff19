#include "quillon/window/headless_printer.h"

#include <ostream>

#include "platform/shell/message_box.h"
#include "quillon/run/save_sequence.h"

namespace quillon {
namespace {

const char* markerOf(StepState state) {
  switch (state) {
    case StepState::Started: return ">>";
    case StepState::Done: return "Done>";
    case StepState::Skipped: return "Skip>";
    case StepState::Failed: return "Error>";
    case StepState::Cancelled: return "Cancelled>";
  }
  return "";
}

std::string databaseLine(const DatabaseBlockReceived& received) {
  return StepCaption(StepId::DriveDatabase) + std::string(" block ") + std::to_string(received.block) + " / " +
         std::to_string(received.lastBlock);
}

constexpr const char* kClearLine = "\r\033[K";

}  // namespace

HeadlessPrinter::HeadlessPrinter(RunEvents& events, std::ostream& out, std::ostream& err, bool terminal)
    : events_(events), out_(out), err_(err), terminal_(terminal) {
  events_.add(*this);
}

HeadlessPrinter::~HeadlessPrinter() { events_.remove(*this); }

void HeadlessPrinter::onRunEvent(const RunEvent& event) {
  std::visit(Overloaded{
                 [this](const StepChanged& e) { step(e); },
                 [this](const DriveIdentified& e) { printLine(DriveTypeLine(e.DriveType)); },
                 [this](const BanksCounted& e) {
                   printLine(e.lastFaultOnly ? "Last Fault Only: " + std::to_string(e.recorded) + " bank(s)"
                                             : std::to_string(e.recorded) + " recorded bank(s)");
                 },
                 [this](const BankStarted& e) { bank(e); },
                 [](const BankRead&) {},
                 [this](const MemoryBlocksRead& e) { blocks(MemoryBlocksLine(e), e.done, e.of, false); },
                 [this](const DatabaseBlockReceived& e) { blocks(databaseLine(e), e.block, e.lastBlock, true); },
                 [this](const RequestResent& e) { resent(e); },
                 [this](const RequestAnswered&) { answered(); },
                 [this](const ProgressMoved& e) { progress(e); },
                 [this](const Notice& e) { printLine(platform::shell::WithUnixLineBreaks(e.text)); },
                 [this](const RunEnded& e) { ended(e); },
             },
             event);
}

void HeadlessPrinter::printLine(const std::string& text) {
  endLive();
  out_ << text << "\n" << std::flush;
}

void HeadlessPrinter::step(const StepChanged& change) {
  if (change.state != StepState::Started) {
    // Into a file the last block of a download or memory read may not have had its own line yet.
    if (!terminal_ && !lastBlockLine_.empty() && blockHalf_ != 2) printLine(lastBlockLine_);
    lastBlockLine_.clear();
    blockHalf_ = -1;
  }
  printLine(StepCaption(change.step) + std::string(" ") + markerOf(change.state));
}

void HeadlessPrinter::bank(const BankStarted& started) {
  const std::string text = BankLine(started);
  if (terminal_) showLive(text, true);
  else printLine(text);
}

// On a terminal one live line for the whole transfer, rewritten with each block; into a file
// the first block, the one halfway and the last: three lines, however long the transfer.
void HeadlessPrinter::blocks(const std::string& text, int block, int lastBlock, bool withBar) {
  if (terminal_) {
    if (liveShown_ && block > 0) {
      live_ = text;
      redrawLive();
    } else {
      showLive(text, withBar);
    }
    return;
  }
  const int half = lastBlock > 0 ? block * 2 / lastBlock : 2;
  lastBlockLine_ = text;
  if (half == blockHalf_) return;
  blockHalf_ = half;
  printLine(text);
}

void HeadlessPrinter::resent(const RequestResent& resent) {
  const std::string text = ResendLine(resent);
  if (terminal_ && liveShown_) {
    liveNote_ = text;
    redrawLive();
  } else {
    printLine(text);
  }
}

// The note of a re-send stands only while its request waits.
void HeadlessPrinter::answered() {
  if (liveNote_.empty()) return;
  liveNote_.clear();
  if (liveShown_) redrawLive();
}

void HeadlessPrinter::progress(const ProgressMoved& moved) {
  percent_ = moved.boxWidth > 0 ? moved.width * 100 / moved.boxWidth : 0;
  if (liveShown_) redrawLive();
}

// The closing message on the error stream, whatever the outcome (the window's message box, which
// a headless run prints on the output stream, shows it too).
void HeadlessPrinter::ended(const RunEnded& ended) {
  endLive();
  if (ended.outcome != RunOutcome::Completed) err_ << "quillon: ";
  err_ << platform::shell::WithUnixLineBreaks(ClosingMessage(ended)) << "\n" << std::flush;
  if (ended.message.empty() && ended.noBankRecorded) printLine("Waring : No Trace Bank Data Received.");
}

void HeadlessPrinter::showLive(std::string text, bool withBar) {
  endLive();
  live_ = std::move(text);
  liveWithBar_ = withBar;
  liveNote_.clear();
  liveShown_ = true;
  redrawLive();
}

void HeadlessPrinter::redrawLive() {
  out_ << kClearLine << live_;
  if (liveWithBar_) out_ << "  " << percent_ << "%";
  if (!liveNote_.empty()) out_ << "  (" << liveNote_ << ")";
  out_ << std::flush;
}

// The live line stays in the scrollback with its final count.
void HeadlessPrinter::endLive() {
  if (!liveShown_) return;
  liveNote_.clear();
  redrawLive();
  out_ << "\n" << std::flush;
  liveShown_ = false;
}

}  // namespace quillon
