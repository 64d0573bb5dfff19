#include "quillon/window/plant_printer.h"

#include <ostream>
#include <streambuf>

#include "platform/shell/message_box.h"
#include "quillon/plant/plant_table.h"
#include "quillon/window/headless_printer.h"

namespace quillon {
namespace {

// Whole lines into `out`, each behind the prefix: lines of several drives never mix.
class PrefixedLines : public std::streambuf {
 public:
  explicit PrefixedLines(std::ostream& out) : out_(out) {}
  std::string prefix;

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    if (c == '\n') {
      out_ << prefix << line_ << "\n" << std::flush;
      line_.clear();
    } else if (c != '\r') {
      line_.push_back(static_cast<char>(c));
    }
    return c;
  }

 private:
  std::ostream& out_;
  std::string line_;
};

std::string prefixOf(const std::string& label) { return "[" + label + "] "; }

}  // namespace

struct PlantPrinter::DriveLines {
  explicit DriveLines(std::ostream& out) : lines(out), stream(&lines), printer(relay, stream, stream, false) {}
  PrefixedLines lines;
  std::ostream stream;
  RunEvents relay;  // the drive's events, handed on from its run
  HeadlessPrinter printer;
};

PlantPrinter::PlantPrinter(const std::vector<PlantDrive>& drives, std::ostream& out) : out_(out) {
  for (const PlantDrive& drive : drives) {
    drives_.push_back(std::make_unique<DriveLines>(out));
    drives_.back()->lines.prefix = prefixOf(drive.address);
  }
}

PlantPrinter::~PlantPrinter() = default;

void PlantPrinter::driveIdentified(std::size_t drive, const DriveResult& result) {
  DriveLines& lines = *drives_.at(drive);
  lines.lines.prefix = prefixOf(DriveLabel(result.drive.address, result.panelName));
  if (result.outcome == RunOutcome::Failed || result.outcome == RunOutcome::Cancelled)
    lines.stream << "quillon: "
                 << platform::shell::WithUnixLineBreaks(result.message.empty() ? "Cancelled" : result.message) << "\n";
}

void PlantPrinter::driveEvent(std::size_t drive, const RunEvent& event) { drives_.at(drive)->relay.emit(event); }

void PlantPrinter::printTable(const std::vector<DriveResult>& results) {
  out_ << "\n" << PlantResultTable(results) << std::flush;
}

}  // namespace quillon
