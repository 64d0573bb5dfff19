// The setting-parameter memory: "LP" with 16-bit addresses below interface level 6, "Lp" from 6 on.
#include "quillon/requests/memory_requests.h"
#include "quillon/run/save_sequence.h"

namespace quillon {

StepState ReadSettingParameters(RunContext& run) {
  if (run.RecordedBankCount == 0) run.progress.fill();  // no bank moved the bar
  resizeSetpointWords(run.memory);
  MemoryRequests requests(run.exchange, run.memory, [&run](int done, int of) {
    run.events.emit(MemoryBlocksRead{MemoryArea::SettingParameters, done, of});
  });
  if (run.identity.InterfaceLevel < kInterfaceLevel32Bit) requests.ReadSetpointMemory16();
  else requests.ReadSetpointMemory32();
  return run.finished();
}

}  // namespace quillon
