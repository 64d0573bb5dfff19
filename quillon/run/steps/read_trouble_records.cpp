// Trouble records 0 to 31, the event counters and their last times, then both files from
// whatever was read: after an abort the requests send nothing and the files keep what came before.
#include "quillon/output/trouble_files.h"
#include "quillon/requests/record_requests.h"
#include "quillon/run/save_sequence.h"

namespace quillon {

StepState ReadTroubleRecords(RunContext& run) {
  RecordRequests requests(run.exchange, run.trouble);
  for (int r = 0; r < kTroubleRecordsRead; ++r) {
    auto record = static_cast<std::uint8_t>(r);
    requests.ReadTroubleRecord(record);
  }
  requests.ReadEventCounts1();
  requests.ReadEventCounts2();
  for (int g = 0; g < kEventTimeGroups; ++g) {
    auto group = static_cast<std::uint8_t>(g);
    requests.ReadEventTimes(group);
  }
  run.reportFailure(WriteTroubleFiles(run.folders.workingFolder(), run.SafePanelName, run.trouble, run.codePage()));
  return run.finished();
}

}  // namespace quillon
