#pragma once
// "DB Load": the drive's own database archive received with "FB" (its size) and "FR" (62-byte
// blocks), written as "Temp.lzh" in the program folder, extracted there with `Unlha` and
// removed again. A definition received this way is found before an installed one.
//
// A block of only zeros ends the stored file early, and a block of only 0xFF means the drive
// holds none (its erased area), except inside a member of an archive whose headers say that
// more is to come.
//
// An archive that cannot be taken (too large to number its blocks, damaged, with an entry
// that would land outside the program folder or in the save run's own files, a name twice, or
// more to write than the caps allow) is refused with a message that names it and why, nothing
// of it is written, and the save run goes on; an abort (refusal by the drive, timeout, Cancel,
// a malformed reply) ends it as anywhere.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/archive/lzh_reader.h"
#include "quillon/requests/exchange.h"
#include "quillon/requests/progress.h"

namespace quillon {

inline constexpr int kArchiveBlockBytes = 62;
inline constexpr int kLargestArchiveBlock = 32767;  // block numbers are signed 16-bit
// 32768 blocks of 62 bytes and more cannot be numbered.
inline constexpr std::uint32_t kLargestReceivableArchive = (kLargestArchiveBlock + 1) * kArchiveBlockBytes - 1;
inline constexpr const char* kReceivedArchiveName = "Temp.lzh";
inline constexpr const char* kRunWorkingFolderName = "TRBSAVE";

// Why the drive's archive may not hold an entry of this name: one that would land in the save
// run's working folder ("TRBSAVE/...") or carry the name of a run's archive or folder
// ("TRBSAVE_..."), letters compared without regard to case. Empty when it may.
std::string RefusedDriveArchiveName(const std::string& name);
// The checks and caps the drive's archive is extracted under (see ExtractPolicy).
platform::archive::ExtractPolicy DriveArchivePolicy();

// "FR" + the block number as four upper-case hexadecimal digits (block 10: "FR000A").
std::string ArchiveBlockRequest(int block);
// The last block number for `size` bytes: size \ 62, less one for an exact multiple (-1 for 0).
std::int64_t LastArchiveBlock(std::uint32_t size);
// The bar's share of one block: the frame's width spread over 70 % of the blocks, as the bar
// always moved; a one-block file moves it by its whole width.
double ArchiveBlockStepWidth(int boxWidth, std::int64_t lastBlock);
// What is written as "Temp.lzh": a whole LZH archive up to its end mark when the bytes hold
// one; otherwise the bytes up to the last non-zero one followed by one 0 byte.
std::vector<std::uint8_t> ArchiveFileContent(const std::vector<std::uint8_t>& received);
// `Unlha` command that extracts `archive` into `folder`: e "<archive>" "<folder>/" -n1 -gm1
std::string ExtractCommand(const std::filesystem::path& archive, const std::filesystem::path& folder);

enum class DriveDatabaseOutcome {
  NotRun,
  Aborted,        // the run ended during the transfer; nothing written
  NothingStored,  // erased area or no bytes: the drive holds no database
  Refused,        // a message was given; nothing extracted
  Extracted,
};

// What the routine reports besides the progress bar.
struct DriveDatabaseDisplay {
  std::function<void(int block, int lastBlock)> blockReceived;  // block 12 of 0 to 40
  std::function<void(const std::string&)> showMessage;          // why an archive was refused
};

// The archiver's entry: `Unlha` with a command line; 0 when it did what it was told.
using UnlhaEntry = std::function<int(const std::string& command)>;

class DriveDatabaseDownload {
 public:
  // The archive is written and extracted in `folder` (the program folder).
  DriveDatabaseDownload(Exchange& exchange, ProgressBar& progress, DriveDatabaseDisplay display, UnlhaEntry unlha,
                        std::filesystem::path folder);

  void ReceiveDriveDatabase();

  // The transfer alone: the received bytes (K of them), or nothing after an abort, an
  // unreceivable size or an erased block.
  std::optional<std::vector<std::uint8_t>> ReceiveArchiveBytes();

  DriveDatabaseOutcome outcome() const { return outcome_; }
  const std::string& refusal() const { return refusal_; }

 private:
  std::optional<std::uint32_t> requestArchiveSize();
  // Stores the block's bytes and says whether it held data, only zeros or only 0xFF (erased).
  enum class BlockKind { Data, AllZero, Erased };
  std::optional<BlockKind> storeBlock(int block, std::uint32_t size, std::vector<std::uint8_t>& received);
  void writeAndExtract(const std::vector<std::uint8_t>& received);
  void refuse(std::string message);

  Exchange& exchange_;
  ProgressBar& progress_;
  DriveDatabaseDisplay display_;
  UnlhaEntry unlha_;
  std::filesystem::path folder_;
  DriveDatabaseOutcome outcome_ = DriveDatabaseOutcome::NotRun;
  std::string refusal_;
};

}  // namespace quillon
