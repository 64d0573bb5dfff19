#include "quillon/requests/drive_database_download.h"

#include <algorithm>
#include <cstdio>
#include <system_error>

#include "platform/archive/lzh_reader.h"
#include "platform/shell/complete_file.h"
#include "quillon/requests/reply_decoder.h"

namespace quillon {

using namespace platform::archive;

namespace {

constexpr const char* kSizeCommand = "FB";
constexpr int kSizePosition = 3;  // eight hexadecimal digits at 3 to 10
constexpr int kSizeDigits = 8;
constexpr int kBlockDataOffset = 2;  // status, one unused byte, then the data
constexpr int kErasedBlockSum = kArchiveBlockBytes * 0xFF;
constexpr double kProgressShareOfBlocks = 0.7;

// The save run's working folder and the run archives and folders named after it.
constexpr std::string_view kWorkingFolder = "trbsave";
constexpr std::string_view kRunArchivePrefix = "trbsave_";

std::string lowerAscii(std::string_view text) {
  std::string lower(text);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower;
}

bool holdsNonZeroByte(const std::vector<std::uint8_t>& bytes) {
  return std::any_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b != 0; });
}

// The bytes up to the last non-zero one, then exactly one 0 byte (a lone 0 when all are 0).
std::vector<std::uint8_t> trimmedAfterLastNonZero(const std::vector<std::uint8_t>& bytes) {
  auto last = std::find_if(bytes.rbegin(), bytes.rend(), [](std::uint8_t b) { return b != 0; });
  std::vector<std::uint8_t> content(bytes.begin(), last.base());
  content.push_back(0);
  return content;
}

struct ArchiveFile {
  std::vector<std::uint8_t> content;
  std::optional<LzhLayout> layout;
  std::string why;  // when there is no layout
};

// A drive pads its stored area with zeros after the archive; the archive's own headers say
// where it ends, so a last member that ends in 0 bytes stays whole.
ArchiveFile archiveFileOf(const std::vector<std::uint8_t>& received) {
  ArchiveFile file;
  file.layout = ReadLzhLayout(received, file.why);
  if (file.layout) {
    file.content.assign(received.begin(), received.begin() + static_cast<std::ptrdiff_t>(file.layout->extent));
    // Stored without its end byte, the archive gets the one 0 byte the trimming rule gives it.
    if (!file.layout->endMark) file.content.push_back(0);
  } else {
    file.content = trimmedAfterLastNonZero(received);
  }
  return file;
}

std::string writeFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& content) {
  const std::string failure = platform::shell::WriteFileCompletely(
      path, std::string_view(reinterpret_cast<const char*>(content.data()), content.size()));
  return failure.empty() ? failure : failure + ".";
}

}  // namespace

std::string RefusedDriveArchiveName(const std::string& name) {
  const std::string first = lowerAscii(name.substr(0, name.find('/')));
  if (first == kWorkingFolder)
    return "the entry \"" + name + "\" would land in the working folder " + std::string(kRunWorkingFolderName);
  if (first.rfind(kRunArchivePrefix, 0) == 0)
    return "the entry \"" + name + "\" carries the name of a save run's archive or folder";
  return {};
}

platform::archive::ExtractPolicy DriveArchivePolicy() {
  platform::archive::ExtractPolicy policy;
  policy.refuseName = RefusedDriveArchiveName;
  return policy;
}

std::string ArchiveBlockRequest(int block) {
  char text[16];
  std::snprintf(text, sizeof text, "FR%04X", static_cast<unsigned>(block) & 0xFFFFu);
  return text;
}

std::int64_t LastArchiveBlock(std::uint32_t size) {
  const std::int64_t last = size / kArchiveBlockBytes;
  return size % kArchiveBlockBytes == 0 ? last - 1 : last;
}

double ArchiveBlockStepWidth(int boxWidth, std::int64_t lastBlock) {
  return static_cast<double>(boxWidth) / (kProgressShareOfBlocks * static_cast<double>(std::max<std::int64_t>(lastBlock, 1)));
}

std::vector<std::uint8_t> ArchiveFileContent(const std::vector<std::uint8_t>& received) {
  return archiveFileOf(received).content;
}

std::string ExtractCommand(const std::filesystem::path& archive, const std::filesystem::path& folder) {
  std::string target = folder.string();
  if (target.empty() || target.back() != '/') target += '/';
  return "e \"" + archive.string() + "\" \"" + target + "\" -n1 -gm1";
}

DriveDatabaseDownload::DriveDatabaseDownload(Exchange& exchange, ProgressBar& progress, DriveDatabaseDisplay display,
                                             UnlhaEntry unlha, std::filesystem::path folder)
    : exchange_(exchange),
      progress_(progress),
      display_(std::move(display)),
      unlha_(std::move(unlha)),
      folder_(std::move(folder)) {}

void DriveDatabaseDownload::ReceiveDriveDatabase() {
  const std::optional<std::vector<std::uint8_t>> received = ReceiveArchiveBytes();
  if (!received) return;
  if (!holdsNonZeroByte(*received)) {
    // Nothing but zeros (or no bytes at all): there is no archive to extract.
    outcome_ = DriveDatabaseOutcome::NothingStored;
    return;
  }
  writeAndExtract(*received);
}

std::optional<std::vector<std::uint8_t>> DriveDatabaseDownload::ReceiveArchiveBytes() {
  outcome_ = DriveDatabaseOutcome::Aborted;
  refusal_.clear();
  if (exchange_.state().AbortFlag) return std::nullopt;
  const std::optional<std::uint32_t> size = requestArchiveSize();
  if (!size) return std::nullopt;

  const std::int64_t lastBlock = LastArchiveBlock(*size);
  const double stepWidth = ArchiveBlockStepWidth(progress_.boxWidth(), lastBlock);
  std::vector<std::uint8_t> received;
  received.reserve(*size);
  for (std::int64_t block = 0; block <= lastBlock; ++block) {
    const std::optional<BlockKind> kind = storeBlock(static_cast<int>(block), *size, received);
    if (!kind) return std::nullopt;
    if (*kind == BlockKind::Erased) {
      outcome_ = DriveDatabaseOutcome::NothingStored;
      return std::nullopt;
    }
    if (*kind == BlockKind::AllZero) {
      // The stored file ends early; what came before it is the archive.
      progress_.clear();
      break;
    }
    progress_.advance(stepWidth);
    if (display_.blockReceived) display_.blockReceived(static_cast<int>(block), static_cast<int>(lastBlock));
  }
  outcome_ = DriveDatabaseOutcome::NotRun;  // received; extraction decides the rest
  return received;
}

std::optional<std::uint32_t> DriveDatabaseDownload::requestArchiveSize() {
  if (!exchange_.transact(kSizeCommand, ReplyForm::Text)) return std::nullopt;
  TextReplyDecoder reply(exchange_.state(), kSizeCommand);
  const std::uint32_t size = reply.hexUnsigned(kSizePosition, kSizeDigits);
  if (!reply.ok()) return std::nullopt;
  if (size > kLargestReceivableArchive) {
    refuse("The drive reports a database of " + std::to_string(size) + " bytes; at most " +
           std::to_string(kLargestReceivableArchive) + " bytes can be received. The drive database was not loaded.");
    return std::nullopt;
  }
  return size;
}

std::optional<DriveDatabaseDownload::BlockKind> DriveDatabaseDownload::storeBlock(int block, std::uint32_t size,
                                                                                  std::vector<std::uint8_t>& received) {
  const std::string request = ArchiveBlockRequest(block);
  if (!exchange_.transact(request, ReplyForm::Binary)) return std::nullopt;
  const std::size_t wanted = std::min<std::size_t>(kArchiveBlockBytes, size - received.size());
  BinaryReplyDecoder reply(exchange_.state(), request);
  std::uint8_t data[kArchiveBlockBytes] = {};
  int sum = 0;
  for (std::size_t j = 0; j < wanted; ++j) {
    data[j] = reply.u8(kBlockDataOffset + static_cast<int>(j));
    sum += data[j];
  }
  if (!reply.ok()) return std::nullopt;
  // A block of only zeros (or only 0xFF) inside a member of an archive not yet complete is
  // the member's content, not the end of the stored file: stored members may hold such runs.
  const bool insideArchive = (sum == 0 || sum == kErasedBlockSum) && ClassifyLzhPrefix(received) == LzhPrefix::Unfinished;
  received.insert(received.end(), data, data + wanted);
  if (insideArchive) return BlockKind::Data;
  if (sum == 0) return BlockKind::AllZero;
  if (sum == kErasedBlockSum) return BlockKind::Erased;
  return BlockKind::Data;
}

void DriveDatabaseDownload::writeAndExtract(const std::vector<std::uint8_t>& received) {
  const std::filesystem::path file = folder_ / kReceivedArchiveName;
  std::error_code ignored;
  std::filesystem::remove(file, ignored);

  const ArchiveFile archive = archiveFileOf(received);
  const std::string named = "The drive database archive " + file.string() + " received from the drive";
  if (std::string failure = writeFile(file, archive.content); !failure.empty()) {
    refuse(failure + " The drive database was not loaded.");
  } else if (!archive.layout) {
    refuse(named + " is damaged (" + archive.why + ") and was not extracted.");
  } else if (std::string problem = CheckArchiveFile(file, *archive.layout, DriveArchivePolicy()); !problem.empty()) {
    refuse(named + " was not extracted: " + problem + ".");
  } else if (const int result = unlha_ ? unlha_(ExtractCommand(file, folder_)) : -1; result != 0) {
    refuse(named + " could not be extracted into " + folder_.string() + " (LHA error " + std::to_string(result) +
           "); nothing of it was written.");
  } else {
    outcome_ = DriveDatabaseOutcome::Extracted;
  }

  std::error_code error;
  std::filesystem::remove(file, error);
  if (error && display_.showMessage) display_.showMessage(file.string() + " could not be removed: " + error.message());
}

void DriveDatabaseDownload::refuse(std::string message) {
  outcome_ = DriveDatabaseOutcome::Refused;
  refusal_ = std::move(message);
  if (display_.showMessage) display_.showMessage(refusal_);
}

}  // namespace quillon
