#include "quillon/run/bank_file_writer.h"

#include <memory>
#include <system_error>

#include "quillon/run/run_context.h"

namespace quillon {

void BankFileWriter::start(std::uint8_t bank) {
  finish();
  if (run_.aborted()) return;
  const auto job = std::make_shared<const BankFileJob>(BankFileJob::Of(run_, bank));
  try {
    pending_ = std::async(std::launch::async, [job] { return SaveTrb_mdb(*job); });
  } catch (const std::system_error&) {
    report(SaveTrb_mdb(*job));  // no thread to be had: written here and now
  }
}

void BankFileWriter::takeFinishedBank() {
  if (pending_.valid() && pending_.wait_for(std::chrono::seconds(0)) == std::future_status::ready) finish();
}

void BankFileWriter::finish() {
  if (pending_.valid()) report(pending_.get());
}

void BankFileWriter::report(const BankFilesOutcome& outcome) {
  if (!outcome.notice.empty()) run_.notice(outcome.notice);
  const std::string& failure = outcome.failure;
  if (failure.empty()) return;
  // First in the run's own order: it replaces whatever ended the run since the bank was handed over.
  ExchangeState& state = run_.x();
  state.AbortFlag = true;
  state.ErrorText = failure;
}

}  // namespace quillon
