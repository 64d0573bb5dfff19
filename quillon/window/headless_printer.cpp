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
                 [this](const DatabaseBlockReceived& e) { databaseBlock(e); },
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
  if (change.step == StepId::DriveDatabase && change.state != StepState::Started) {
    // Into a file the download's last block may not have had its own line yet.
    if (!terminal_ && !lastDatabaseLine_.empty() && databaseHalf_ != 2) printLine(lastDatabaseLine_);
    lastDatabaseLine_.clear();
    databaseHalf_ = -1;
  }
  printLine(StepCaption(change.step) + std::string(" ") + markerOf(change.state));
}

void HeadlessPrinter::bank(const BankStarted& started) {
  const std::string text = "Bank " + std::to_string(started.number) + " / " + std::to_string(started.of);
  if (terminal_) showLive(text);
  else printLine(text);
}

void HeadlessPrinter::databaseBlock(const DatabaseBlockReceived& received) {
  const std::string text = databaseLine(received);
  if (terminal_) {
    // One live line for the whole transfer, rewritten with each block.
    if (liveShown_ && received.block > 0) {
      live_ = text;
      redrawLive();
    } else {
      showLive(text);
    }
    return;
  }
  // The first block, the one halfway and the last: three lines, however long the transfer.
  const int half = received.lastBlock > 0 ? received.block * 2 / received.lastBlock : 2;
  lastDatabaseLine_ = text;
  if (half == databaseHalf_) return;
  databaseHalf_ = half;
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

void HeadlessPrinter::showLive(std::string text) {
  endLive();
  live_ = std::move(text);
  liveNote_.clear();
  liveShown_ = true;
  redrawLive();
}

void HeadlessPrinter::redrawLive() {
  out_ << kClearLine << live_ << "  " << percent_ << "%";
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
