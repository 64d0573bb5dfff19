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

  static BankFileJob Of(const RunContext& run, std::uint8_t bank);
};

// `SaveTrb_mdb`: the bank's workbook with the drive database of the bank's firmware, or its CSV
// set when no such database is found. Empty, or why the files were not written.
std::string SaveTrb_mdb(const BankFileJob& job);

class BankFileWriter {
 public:
  explicit BankFileWriter(RunContext& run) : run_(run) {}
  // Waits for the bank in hand; its failure is no longer reported then.
  ~BankFileWriter() = default;
  BankFileWriter(const BankFileWriter&) = delete;
  BankFileWriter& operator=(const BankFileWriter&) = delete;

  // Waits for the bank before, then starts writing `bank`'s files unless the run has ended.
  void start(std::uint8_t bank);
  // False once the run has ended, after ending it with the failure of the bank in hand if that
  // has failed by now. Does not wait.
  bool runGoesOn();
  // Waits for the bank in hand and ends the run with its failure, if any.
  void finish();

 private:
  void report(const std::string& failure);

  RunContext& run_;
  std::future<std::string> pending_;
};

}  // namespace quillon
