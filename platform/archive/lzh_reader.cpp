#include "platform/archive/lzh_reader.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <limits>
#include <map>
#include <memory>

#include "platform/archive/crc16.h"
#include "platform/archive/shared_work.h"

extern "C" {
#include <lhasa.h>
}

namespace platform::archive {

namespace {

// Fields every header level shares, offsets from the header's first byte.
constexpr std::size_t kOffMethod = 2;  // "-lh5-" and the like
constexpr std::size_t kMethodLength = 5;
constexpr std::size_t kOffPackedSize = 7;  // 32-bit, least significant first
constexpr std::size_t kOffLevel = 20;
constexpr std::size_t kCommonBytes = 21;
// Levels 0 and 1: the header's size after its first two bytes, then the name in the base header.
constexpr std::size_t kOffShortHeaderSize = 0;
constexpr std::size_t kOffNameLength = 21;
constexpr std::size_t kOffName = 22;
constexpr std::size_t kLevel0TrailerBytes = 2;  // CRC after the name
constexpr std::size_t kLevel1TrailerBytes = 5;  // CRC, OS, size of the first extension
// Level 2: the whole header's size in the first two bytes; extensions from byte 26.
constexpr std::size_t kOffLevel2HeaderSize = 0;
constexpr std::size_t kLevel2BaseBytes = 26;
constexpr std::size_t kOffLevel2OsId = 23;
// The OS-9/68k LHA gives level-2 header sizes two bytes short; the header does go on for them.
constexpr std::uint8_t kOs9For68kId = 'K';
constexpr std::size_t kOs9For68kMissingBytes = 2;
// Level 3: the whole header's size at 24 (32-bit); extensions from byte 32.
constexpr std::size_t kOffLevel3HeaderSize = 24;
constexpr std::size_t kLevel3BaseBytes = 32;
// Extension header types that carry the name.
constexpr std::uint8_t kExtFileName = 0x01;
constexpr std::uint8_t kExtDirectoryName = 0x02;
constexpr std::uint8_t kEndMark = 0;

std::uint64_t little(std::span<const std::uint8_t> bytes, std::size_t at, int width) {
  std::uint64_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = value << 8 | bytes[at + static_cast<std::size_t>(i)];
  return value;
}

bool isSeparator(char c) { return c == '/' || c == '\\' || c == '\xFF'; }

std::string withSlashes(std::string_view text) {
  std::string result(text);
  for (char& c : result)
    if (isSeparator(c)) c = '/';
  return result;
}

std::string joinedName(const std::string& directory, const std::string& file) {
  if (directory.empty()) return file;
  if (file.empty() || directory.back() == '/') return directory + file;
  return directory + "/" + file;
}

// One member's header: its total size and stored name.
struct MemberHeader {
  std::size_t headerBytes = 0;
  std::uint64_t packedBytes = 0;
  std::string name;
};

class HeaderReader {
 public:
  HeaderReader(std::span<const std::uint8_t> bytes, std::size_t start) : bytes_(bytes), start_(start) {}

  std::optional<MemberHeader> read(std::string& why) {
    const bool methodArrived = start_ <= bytes_.size() && bytes_.size() - start_ >= kOffMethod + kMethodLength;
    if (methodArrived &&
        (bytes_[start_ + kOffMethod] != '-' || bytes_[start_ + kOffMethod + kMethodLength - 1] != '-'))
      return failed(why, "a header names no packing method");
    if (!has(kCommonBytes)) return failed(why, "a header is cut short");
    MemberHeader member;
    member.packedBytes = little(bytes_, start_ + kOffPackedSize, 4);
    switch (bytes_[start_ + kOffLevel]) {
      case 0: return readShort(member, kLevel0TrailerBytes, false, why);
      case 1: return readShort(member, kLevel1TrailerBytes, true, why);
      case 2: return readLong(member, kOffLevel2HeaderSize, 2, kLevel2BaseBytes, 2, level2Shortfall(), why);
      case 3: return readLong(member, kOffLevel3HeaderSize, 4, kLevel3BaseBytes, 4, 0, why);
      default: return failed(why, "a header has the unknown level " + std::to_string(bytes_[start_ + kOffLevel]));
    }
  }

  bool ranOut() const { return ranOut_; }

 private:
  // Running out of bytes is told apart from a broken header: the rest may still be coming.
  bool has(std::size_t count) {
    if (start_ <= bytes_.size() && bytes_.size() - start_ >= count) return true;
    ranOut_ = true;
    return false;
  }

  std::size_t level2Shortfall() {
    return has(kOffLevel2OsId + 1) && bytes_[start_ + kOffLevel2OsId] == kOs9For68kId ? kOs9For68kMissingBytes : 0;
  }

  static std::optional<MemberHeader> failed(std::string& why, std::string text) {
    why = std::move(text);
    return std::nullopt;
  }

  // Levels 0 and 1: the name sits in the base header; level 1 may add extensions, which its
  // packed size counts.
  std::optional<MemberHeader> readShort(MemberHeader member, std::size_t trailer, bool extensions, std::string& why) {
    if (!has(kOffName)) return failed(why, "a header is cut short");
    const std::size_t baseBytes = static_cast<std::size_t>(bytes_[start_ + kOffShortHeaderSize]) + 2;
    const std::size_t nameLength = bytes_[start_ + kOffNameLength];
    if (baseBytes < kOffName + nameLength + trailer || !has(baseBytes)) return failed(why, "a header is cut short");
    std::string file(reinterpret_cast<const char*>(bytes_.data() + start_ + kOffName), nameLength);
    std::string directory;
    member.headerBytes = baseBytes;
    if (extensions) {
      std::size_t extensionBytes = 0;
      if (!readExtensions(baseBytes, little(bytes_, start_ + baseBytes - 2, 2), 2, file, directory, extensionBytes, why))
        return std::nullopt;
      if (extensionBytes > member.packedBytes) return failed(why, "a header's extensions pass its member");
    }
    member.name = joinedName(withSlashes(directory), withSlashes(file));
    return member;
  }

  // Levels 2 and 3: the whole header's size is given; the name is in extensions.
  std::optional<MemberHeader> readLong(MemberHeader member, std::size_t sizeAt, int sizeWidth, std::size_t baseBytes,
                                       int extensionSizeWidth, std::size_t shortfall, std::string& why) {
    if (!has(baseBytes)) return failed(why, "a header is cut short");
    member.headerBytes = static_cast<std::size_t>(little(bytes_, start_ + sizeAt, sizeWidth)) + shortfall;
    if (member.headerBytes < baseBytes || !has(member.headerBytes)) return failed(why, "a header is cut short");
    std::string file, directory;
    std::size_t extensionBytes = 0;
    const std::uint64_t first = little(bytes_, start_ + baseBytes - static_cast<std::size_t>(extensionSizeWidth),
                                       extensionSizeWidth);
    if (!readExtensions(baseBytes, first, extensionSizeWidth, file, directory, extensionBytes, why)) return std::nullopt;
    if (baseBytes + extensionBytes > member.headerBytes) return failed(why, "a header's extensions pass its size");
    member.name = joinedName(withSlashes(directory), withSlashes(file));
    return member;
  }

  // Each extension: type, data, size of the next one; a size counts all three.
  bool readExtensions(std::size_t at, std::uint64_t size, int sizeWidth, std::string& file, std::string& directory,
                      std::size_t& total, std::string& why) {
    const auto overhead = static_cast<std::uint64_t>(1 + sizeWidth);
    while (size != 0) {
      if (size < overhead || !has(at + static_cast<std::size_t>(size))) {
        why = "an extended header is cut short";
        return false;
      }
      const std::size_t begin = start_ + at;
      const auto dataBytes = static_cast<std::size_t>(size - overhead);
      const std::string data(reinterpret_cast<const char*>(bytes_.data() + begin + 1), dataBytes);
      if (bytes_[begin] == kExtFileName) file = data;
      if (bytes_[begin] == kExtDirectoryName) directory = data;
      at += static_cast<std::size_t>(size);
      total += static_cast<std::size_t>(size);
      size = little(bytes_, start_ + at - static_cast<std::size_t>(sizeWidth), sizeWidth);
    }
    return true;
  }

  std::span<const std::uint8_t> bytes_;
  std::size_t start_;
  bool ranOut_ = false;
};

struct ReaderDeleter {
  void operator()(LHAReader* reader) const { lha_reader_free(reader); }
};
struct StreamDeleter {
  void operator()(LHAInputStream* stream) const { lha_input_stream_free(stream); }
};
struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

namespace {

// `wholeFile`: the bytes are all there is, and an archive may end right after its last member
// without the end mark, as other LHA programs read it.
std::optional<LzhLayout> readLayout(std::span<const std::uint8_t> bytes, bool wholeFile, std::string& why, bool& ranOut) {
  LzhLayout layout;
  std::size_t at = 0;
  ranOut = false;
  while (true) {
    if (at >= bytes.size()) {
      if (wholeFile && at > 0 && !layout.names.empty()) {
        layout.endMark = false;
        layout.extent = at;
        return layout;
      }
      ranOut = at > 0;
      why = at == 0 ? "it is empty" : "its end mark is missing";
      return std::nullopt;
    }
    if (bytes[at] == kEndMark) break;
    HeaderReader reader(bytes, at);
    std::optional<MemberHeader> member = reader.read(why);
    if (!member) {
      ranOut = reader.ranOut();
      return std::nullopt;
    }
    const std::uint64_t left = bytes.size() - at - member->headerBytes;
    if (member->packedBytes > left) {
      ranOut = true;
      why = "the member \"" + member->name + "\" is cut short";
      return std::nullopt;
    }
    layout.names.push_back(std::move(member->name));
    at += member->headerBytes + static_cast<std::size_t>(member->packedBytes);
  }
  if (layout.names.empty()) {
    why = "it holds no files";
    return std::nullopt;
  }
  layout.extent = at + 1;
  return layout;
}

}  // namespace

std::optional<LzhLayout> ReadLzhLayout(std::span<const std::uint8_t> bytes, std::string& why) {
  bool ranOut = false;
  return readLayout(bytes, true, why, ranOut);
}

LzhPrefix ClassifyLzhPrefix(std::span<const std::uint8_t> bytes) {
  std::string why;
  bool ranOut = false;
  // More members may still come after the last one received.
  if (readLayout(bytes, false, why, ranOut)) return LzhPrefix::Whole;
  return ranOut ? LzhPrefix::Unfinished : LzhPrefix::NotAnArchive;
}

bool NameStaysInside(std::string_view name) {
  if (name.empty() || isSeparator(name.front())) return false;
  if (name.size() >= 2 && name[1] == ':') return false;  // "C:..." names a drive
  std::size_t begin = 0;
  while (begin <= name.size()) {
    std::size_t end = begin;
    while (end < name.size() && !isSeparator(name[end])) ++end;
    if (name.substr(begin, end - begin) == "..") return false;
    begin = end + 1;
  }
  return true;
}

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kReadAheadBytes = 256 * 1024;

// Opens the archive with the LHA decoder and hands each member (directories once, links
// refused) to `visit`, which returns an empty text to go on, otherwise why it stopped.
template <typename Visit>
std::string ForEachMember(const fs::path& file, const std::string& codePage, std::size_t& members, Visit visit) {
  members = 0;
  // The decoder asks for a few bytes at a time: read ahead in large pieces, not 4 KiB ones. The
  // buffer outlives the file (glibc ignores the size unless it is given the buffer).
  std::vector<char> readAhead(kReadAheadBytes);
  std::unique_ptr<std::FILE, FileCloser> handle(std::fopen(file.c_str(), "rb"));
  if (!handle) return "it cannot be read back";
  std::setvbuf(handle.get(), readAhead.data(), _IOFBF, readAhead.size());
  std::unique_ptr<LHAInputStream, StreamDeleter> stream(lha_input_stream_from_FILE(handle.get()));
  if (!stream) return "it cannot be read back";
  std::unique_ptr<LHAReader, ReaderDeleter> reader(lha_reader_new(stream.get()));
  if (!reader) return "it cannot be read back";
  lha_reader_set_dir_policy(reader.get(), LHA_READER_DIR_PLAIN);
  while (LHAFileHeader* header = lha_reader_next_file(reader.get())) {
    const std::string stored = joinedName(header->path ? header->path : "", header->filename ? header->filename : "");
    const std::string name = NameFromStored(stored, codePage);
    if (name.empty() && !stored.empty()) return "the name of an entry cannot be read in code page " + codePage;
    if (header->symlink_target) return "the entry \"" + name + "\" is a link";
    if (!NameStaysInside(name)) return "the entry \"" + name + "\" would be written outside the folder";
    if (std::string why = visit(*reader, *header, name); !why.empty()) return why;
    ++members;
  }
  return {};
}

bool IsDirectoryEntry(const LHAFileHeader& header) {
  return std::string_view(header.compress_method) == LHA_COMPRESS_TYPE_DIR;
}

// MacLHA puts a MacBinary header before a file's data; the decoder checks the whole stream and
// hands out the file's data without that header, so fewer bytes come than the header declares.
bool DecoderStripsMacBinary(const LHAFileHeader& header) { return header.os_type == LHA_OS_TYPE_MACOS; }

std::string withoutTrailingSlash(std::string name) {
  while (!name.empty() && name.back() == '/') name.pop_back();
  return name;
}

// The real folder a new entry `target` goes into must still lie inside `folder`, also when a
// folder on the way is a link.
bool LandsInside(const fs::path& folder, const fs::path& target) {
  std::error_code ec;
  const fs::path root = fs::weakly_canonical(folder, ec);
  const fs::path parent = fs::weakly_canonical(target.parent_path(), ec);
  if (ec) return false;
  const fs::path inside = parent.lexically_relative(root);
  return !inside.empty() && *inside.begin() != "..";
}

struct PlannedEntry {
  std::string name;  // without a trailing '/'
  bool directory = false;
};

// What the archive would write, read from the decoder's headers, and why it may not be
// written: a name the policy refuses, a name twice, a file where a folder must go, or more
// bytes than the policy allows.
std::string PlanMembers(const fs::path& file, const ExtractPolicy& policy, std::vector<PlannedEntry>& plan,
                        std::uint64_t& totalBytes) {
  plan.clear();
  totalBytes = 0;
  std::map<std::string, bool> seen;  // name -> is a folder
  std::size_t members = 0;
  return ForEachMember(file, policy.nameCodePage, members, [&](LHAReader&, const LHAFileHeader& header, const std::string& stored) {
    PlannedEntry entry{withoutTrailingSlash(stored), IsDirectoryEntry(header)};
    if (entry.name.empty()) return "an entry has no name" + std::string();
    if (policy.refuseName)
      if (std::string why = policy.refuseName(entry.name); !why.empty()) return why;
    if (!entry.directory && header.length > policy.maxMemberBytes)
      return "the entry \"" + entry.name + "\" would be " + std::to_string(header.length) + " bytes, more than the " +
             std::to_string(policy.maxMemberBytes) + " allowed for one file";
    totalBytes += entry.directory ? 0 : header.length;
    if (totalBytes > policy.maxTotalBytes)
      return "its files would be more than the " + std::to_string(policy.maxTotalBytes) + " bytes allowed in all";
    // Every folder on the way is a folder; the entry itself must not be there already.
    const std::string& name = entry.name;
    for (std::size_t slash = name.find('/'); slash != std::string::npos; slash = name.find('/', slash + 1)) {
      auto [place, added] = seen.emplace(name.substr(0, slash), true);
      if (!place->second) return "the entry \"" + entry.name + "\" lies below a file of the same name";
    }
    auto [place, added] = seen.emplace(name, entry.directory);
    if (!added && !(entry.directory && place->second))
      return "the entry \"" + entry.name + "\" appears twice in it";
    plan.push_back(std::move(entry));
    return std::string();
  });
}

// Nothing in the target folder may stand in the way of the plan: a file where a folder goes,
// a folder where a file goes, or a link that leads out of the folder.
std::string CheckTargets(const fs::path& folder, const std::vector<PlannedEntry>& plan) {
  for (const PlannedEntry& entry : plan) {
    const fs::path target = folder / entry.name;
    if (!LandsInside(folder, target)) return "the entry \"" + entry.name + "\" cannot be written inside the folder";
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(target, ec);
    if (!fs::exists(status)) continue;
    if (entry.directory ? !fs::is_directory(status) : !fs::is_regular_file(status))
      return "\"" + entry.name + "\" is already in the folder as something else";
  }
  return {};
}

std::string CheckFreeSpace(const fs::path& folder, std::uint64_t totalBytes, const ExtractPolicy& policy) {
  std::error_code ec;
  const fs::space_info space = fs::space(folder, ec);
  if (ec) return "the free space in " + folder.string() + " cannot be read";
  // The files are written once in the folder and then put in place there.
  if (space.available < totalBytes + policy.spareBytes)
    return "its " + std::to_string(totalBytes) + " bytes do not fit into the " + std::to_string(space.available) +
           " bytes free in " + folder.string();
  return {};
}

std::string ExtractMember(LHAReader& reader, const LHAFileHeader& header, const std::string& name,
                          const fs::path& folder) {
  const fs::path target = folder / fs::path(withoutTrailingSlash(name)).relative_path();
  std::error_code ec;
  if (IsDirectoryEntry(header)) {
    fs::create_directories(target, ec);
    return ec ? "the folder \"" + name + "\" cannot be made: " + ec.message() : std::string();
  }
  fs::create_directories(target.parent_path(), ec);
  if (ec) return "the file \"" + name + "\" cannot be written: " + ec.message();
  std::unique_ptr<std::FILE, FileCloser> out(std::fopen(target.c_str(), "wb"));
  if (!out) return "the file \"" + name + "\" cannot be written: " + std::strerror(errno);
  std::uint16_t crc = 0;
  std::uint64_t total = 0;
  bool written = true;
  int writeError = 0;
  std::vector<std::uint8_t> buffer(64 * 1024);
  for (std::size_t got; (got = lha_reader_read(&reader, buffer.data(), buffer.size())) > 0 && total <= header.length;
       total += got) {
    crc = UpdateCrc16(crc, buffer.data(), got);
    if (written && std::fwrite(buffer.data(), 1, got, out.get()) != got) {
      written = false;
      writeError = errno;
    }
  }
  if (std::fclose(out.release()) != 0 && written) {
    written = false;
    writeError = errno;
  }
  if (!written) return "the file \"" + name + "\" cannot be written: " + std::strerror(writeError);
  // The check before extraction has compared the whole stream with the header's CRC.
  const bool whole = DecoderStripsMacBinary(header) ? total <= header.length : total == header.length && crc == header.crc;
  if (!whole) return "the entry \"" + name + "\" is damaged";
  const struct timespec times[2] = {{static_cast<time_t>(header.timestamp), 0}, {static_cast<time_t>(header.timestamp), 0}};
  ::utimensat(AT_FDCWD, target.c_str(), times, 0);
  return {};
}

// The target folder and the folders above it that did not exist yet: made for the
// extraction, and removed again unless it succeeds.
class MadeFolder {
 public:
  explicit MadeFolder(const fs::path& folder) {
    std::error_code ec;
    for (fs::path at = folder; !at.empty() && !fs::exists(fs::symlink_status(at, ec)); at = at.parent_path()) {
      topmost_ = at;
      if (at == at.parent_path()) break;
    }
    if (!topmost_.empty()) made_ = fs::create_directories(folder, ec) && !ec;
  }
  MadeFolder(const MadeFolder&) = delete;
  MadeFolder& operator=(const MadeFolder&) = delete;
  ~MadeFolder() {
    std::error_code ec;
    if (made_ && !kept_) fs::remove_all(topmost_, ec);
  }
  void keep() { kept_ = true; }

 private:
  fs::path topmost_;
  bool made_ = false;
  bool kept_ = false;
};

// A hidden folder inside the target folder (so that moving out of it is a rename) that is
// removed with all it holds when the extraction ends, whichever way.
class StagingFolder {
 public:
  explicit StagingFolder(const fs::path& folder) {
    static std::atomic<unsigned> counter{0};  // extractions of several runs at once
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      fs::path candidate = folder / (".unlha-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
      std::error_code ec;
      if (fs::create_directory(candidate, ec) && !ec) path_ = candidate;
    }
  }
  ~StagingFolder() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  StagingFolder(const StagingFolder&) = delete;
  StagingFolder& operator=(const StagingFolder&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// Moves the staged entries into the folder; when one cannot be moved, every change made so
// far is undone (files put back, new folders removed) and the folder is as it was.
class PlacedEntries {
 public:
  PlacedEntries(const fs::path& folder, const fs::path& staging) : folder_(folder), staging_(staging) {}
  ~PlacedEntries() {
    if (!done_) undo();
  }
  PlacedEntries(const PlacedEntries&) = delete;
  PlacedEntries& operator=(const PlacedEntries&) = delete;

  std::string place(const PlannedEntry& entry) {
    const fs::path target = folder_ / entry.name;
    if (std::string why = makeFolders(entry.directory ? target : target.parent_path()); !why.empty()) return why;
    if (entry.directory) return {};
    std::error_code ec;
    Move move{target, {}};
    if (fs::exists(fs::symlink_status(target, ec))) {
      move.replaced = staging_ / (".replaced-" + std::to_string(moves_.size()));
      fs::rename(target, move.replaced, ec);
      if (ec) return "\"" + entry.name + "\" in the folder cannot be replaced: " + ec.message();
    }
    fs::rename(staging_ / entry.name, target, ec);
    if (ec) {
      if (!move.replaced.empty()) fs::rename(move.replaced, target, ec);
      return "the file \"" + entry.name + "\" cannot be put in place";
    }
    moves_.push_back(std::move(move));
    return {};
  }
  void keep() { done_ = true; }

 private:
  struct Move {
    fs::path target, replaced;
  };

  std::string makeFolders(const fs::path& wanted) {
    std::vector<fs::path> missing;
    std::error_code ec;
    for (fs::path p = wanted; p != folder_ && !fs::exists(p, ec); p = p.parent_path()) missing.push_back(p);
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
      if (!fs::create_directory(*it, ec) || ec) return "the folder " + it->string() + " cannot be made";
      createdFolders_.push_back(*it);
    }
    return {};
  }

  void undo() {
    std::error_code ec;
    for (auto it = moves_.rbegin(); it != moves_.rend(); ++it) {
      fs::remove(it->target, ec);
      if (!it->replaced.empty()) fs::rename(it->replaced, it->target, ec);
    }
    for (auto it = createdFolders_.rbegin(); it != createdFolders_.rend(); ++it) fs::remove(*it, ec);
  }

  fs::path folder_, staging_;
  std::vector<Move> moves_;
  std::vector<fs::path> createdFolders_;
  bool done_ = false;
};

}  // namespace

namespace {

// Every member decoded with its CRC checked, by a few threads at once: each reads the headers
// on its own and decodes the members no other has taken yet. The answer is the one a single
// pass gives: the first failure in member order, or that there are not `expected` members.
std::string DecodeEveryMember(const fs::path& file, const std::string& codePage, std::size_t expected) {
  constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();
  std::vector<std::atomic<bool>> taken(expected);
  std::atomic<std::size_t> firstFailure{kNone};
  struct Outcome {
    std::string why;
    std::size_t failedAt = kNone;
    std::size_t members = 0;
  };
  const unsigned threads = ArchiveThreads(expected);
  std::vector<Outcome> outcomes(threads);
  RunOnThreads(threads, [&](unsigned t) {
    Outcome& out = outcomes[t];
    std::size_t index = 0;
    out.why = ForEachMember(file, codePage, out.members, [&](LHAReader& reader, const LHAFileHeader& header, const std::string& name) {
      const std::size_t i = index++;
      if (IsDirectoryEntry(header) || i > firstFailure.load()) return std::string();
      if (i < taken.size() && taken[i].exchange(true)) return std::string();  // another thread decodes it
      if (lha_reader_check(&reader, nullptr, nullptr)) return std::string();
      return "the entry \"" + name + "\" is damaged";
    });
    if (out.why.empty()) return;
    out.failedAt = out.members;  // the members passed before the one that failed
    for (std::size_t seen = firstFailure.load(); out.failedAt < seen && !firstFailure.compare_exchange_weak(seen, out.failedAt);) {
    }
  });
  const Outcome* first = &outcomes[0];
  for (const Outcome& out : outcomes)
    if (out.failedAt < first->failedAt) first = &out;
  if (!first->why.empty()) return first->why;
  if (first->members != expected) return "not all of its entries can be read";
  return {};
}

}  // namespace

std::string CheckArchiveFile(const fs::path& file, const LzhLayout& layout, const ExtractPolicy& policy) {
  for (const std::string& name : layout.names)
    if (!NameStaysInside(name)) return "the entry \"" + name + "\" would be written outside the folder";
  std::vector<PlannedEntry> plan;
  std::uint64_t totalBytes = 0;
  if (std::string why = PlanMembers(file, policy, plan, totalBytes); !why.empty()) return why;
  return DecodeEveryMember(file, policy.nameCodePage, layout.names.size());
}

bool ReadFileBytes(const fs::path& file, std::vector<std::uint8_t>& bytes) {
  bytes.clear();
  std::unique_ptr<std::FILE, FileCloser> in(std::fopen(file.c_str(), "rb"));
  if (!in) return false;
  std::uint8_t chunk[64 * 1024];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, in.get())) > 0;) bytes.insert(bytes.end(), chunk, chunk + got);
  return std::ferror(in.get()) == 0;
}

std::string ExtractArchiveFile(const fs::path& file, const fs::path& folder, const ExtractPolicy& policy) {
  std::vector<std::uint8_t> image;
  if (!ReadFileBytes(file, image)) return "it cannot be read";
  std::string why;
  const std::optional<LzhLayout> layout = ReadLzhLayout(image, why);
  if (!layout) return why;
  // Nothing is written unless every entry stays inside the folder, fits and finds its place
  // free (and, checked first, decodes).
  if (policy.check == ExtractPolicy::Check::WholeArchiveFirst) {
    if (why = CheckArchiveFile(file, *layout, policy); !why.empty()) return why;
  } else {
    for (const std::string& name : layout->names)
      if (!NameStaysInside(name)) return "the entry \"" + name + "\" would be written outside the folder";
  }
  std::vector<PlannedEntry> plan;
  std::uint64_t totalBytes = 0;
  if (why = PlanMembers(file, policy, plan, totalBytes); !why.empty()) return why;
  MadeFolder made(folder);
  if (why = CheckTargets(folder, plan); !why.empty()) return why;
  if (why = CheckFreeSpace(folder, totalBytes, policy); !why.empty()) return why;

  StagingFolder staging(folder);
  if (staging.path().empty()) return "no room for its files can be made in " + folder.string();
  std::size_t members = 0;
  why = ForEachMember(file, policy.nameCodePage, members, [&staging](LHAReader& reader, const LHAFileHeader& header, const std::string& name) {
    return ExtractMember(reader, header, name, staging.path());
  });
  if (!why.empty()) return why;
  if (members != layout->names.size()) return "not all of its entries can be read";
  PlacedEntries placed(folder, staging.path());
  for (const PlannedEntry& entry : plan)
    if (why = placed.place(entry); !why.empty()) return why;
  placed.keep();
  made.keep();
  return {};
}

}  // namespace platform::archive
