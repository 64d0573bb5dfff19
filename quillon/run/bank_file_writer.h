#pragma once
// A recorded bank's files written on a thread of their own while the run reads the next bank,
// so that the drive's latency hides their cost. The thread works on a copy of the bank's data
// and on database connections of its own; nothing else touches them. One bank at a time, and
// the step that reads the banks waits for the last one before it ends.
//
// A failure ends the run with the bank's own message, ahead of anything that happened later:
// the requests that followed were only sent because the files were being written meanwhile.
// The run so ends as it did when each bank's files were written before the next request, with
// at most some requests of the next bank sent in between.
#include <cstdint>
#include <filesystem>
#include <future>
#include <string>

#include "platform/db/connection.h"
#include "platform/shell/codepage.h"
#include "quillon/database/drive_db_location.h"
#include "quillon/requests/drive_identity.h"
#include "quillon/requests/trace_back_tables.h"

namespace quillon {

class RunContext;

// What a bank's files are made from, copied out of the run.
struct BankFileJob {
  std::uint8_t bank = 0;
  DriveIdentity identity;
  TraceBackTables tables;
  std::string SafePanelName;
  DriveDbSearch search;
  std::filesystem::path templateFile;   // "TRB_TMP.mdb"
  std::filesystem::path workingFolder;
  bool bankNumberInName = false;        // "Last Fault Only"
  platform::db::OpenOptions driveDbOptions;
  platform::shell::CodePage codePage;             // of the CSV set

  static BankFileJob Of(const RunContext& run, std::uint8_t bank);
};

struct BankFilesOutcome {
  std::string notice;   // the workbook failed and the bank went into its CSV set: why
  std::string failure;  // the bank's files were not written: the run ends with this
};

// `SaveTrb_mdb`: the bank's workbook with the drive database of the bank's firmware, or its CSV
// set when no such database is found or the workbook cannot be written.
BankFilesOutcome SaveTrb_mdb(const BankFileJob& job);

class BankFileWriter {
 public:
  explicit BankFileWriter(RunContext& run) : run_(run) {}
  // Waits for the bank in hand; its failure is no longer reported then.
  ~BankFileWriter() = default;
  BankFileWriter(const BankFileWriter&) = delete;
  BankFileWriter& operator=(const BankFileWriter&) = delete;

  // Waits for the bank before, then starts writing `bank`'s files unless the run has ended.
  void start(std::uint8_t bank);
  // Takes in the bank in hand if it is done by now (its notice, or its failure ending the run).
  // Does not wait.
  void takeFinishedBank();
  // Waits for the bank in hand and ends the run with its failure, if any.
  void finish();

 private:
  void report(const BankFilesOutcome& outcome);

  RunContext& run_;
  std::future<BankFilesOutcome> pending_;
};

}  // namespace quillon
