#include "platform/archive/lzh_reader.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <memory>

#include "platform/archive/crc16.h"

extern "C" {
#include <lhasa.h>
}

namespace platform_archive {

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
      case 2: return readLong(member, kOffLevel2HeaderSize, 2, kLevel2BaseBytes, 2, why);
      case 3: return readLong(member, kOffLevel3HeaderSize, 4, kLevel3BaseBytes, 4, why);
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
                                       int extensionSizeWidth, std::string& why) {
    if (!has(baseBytes)) return failed(why, "a header is cut short");
    member.headerBytes = static_cast<std::size_t>(little(bytes_, start_ + sizeAt, sizeWidth));
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

std::optional<LzhLayout> readLayout(std::span<const std::uint8_t> bytes, std::string& why, bool& ranOut) {
  LzhLayout layout;
  std::size_t at = 0;
  ranOut = false;
  while (true) {
    if (at >= bytes.size()) {
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
  return readLayout(bytes, why, ranOut);
}

LzhPrefix ClassifyLzhPrefix(std::span<const std::uint8_t> bytes) {
  std::string why;
  bool ranOut = false;
  if (readLayout(bytes, why, ranOut)) return LzhPrefix::Whole;
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

// Opens the archive with the LHA decoder and hands each member (directories once, links
// refused) to `visit`, which returns an empty text to go on, otherwise why it stopped.
template <typename Visit>
std::string ForEachMember(const std::filesystem::path& file, std::size_t& members, Visit visit) {
  members = 0;
  std::unique_ptr<std::FILE, FileCloser> handle(std::fopen(file.c_str(), "rb"));
  if (!handle) return "it cannot be read back";
  std::unique_ptr<LHAInputStream, StreamDeleter> stream(lha_input_stream_from_FILE(handle.get()));
  if (!stream) return "it cannot be read back";
  std::unique_ptr<LHAReader, ReaderDeleter> reader(lha_reader_new(stream.get()));
  if (!reader) return "it cannot be read back";
  lha_reader_set_dir_policy(reader.get(), LHA_READER_DIR_PLAIN);
  while (LHAFileHeader* header = lha_reader_next_file(reader.get())) {
    const std::string name = joinedName(header->path ? header->path : "", header->filename ? header->filename : "");
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

// The real folder a new file of `name` goes into must still lie inside `folder`, also when a
// folder on the way is a link.
bool LandsInside(const std::filesystem::path& folder, const std::filesystem::path& target) {
  std::error_code ec;
  const std::filesystem::path root = std::filesystem::weakly_canonical(folder, ec);
  const std::filesystem::path parent = std::filesystem::weakly_canonical(target.parent_path(), ec);
  if (ec) return false;
  const std::filesystem::path inside = parent.lexically_relative(root);
  return !inside.empty() && *inside.begin() != "..";
}

std::string ExtractMember(LHAReader& reader, const LHAFileHeader& header, const std::string& name,
                          const std::filesystem::path& folder) {
  namespace fs = std::filesystem;
  const fs::path target = folder / fs::path(name).relative_path();
  std::error_code ec;
  if (IsDirectoryEntry(header)) {
    fs::create_directories(target, ec);
    return ec ? "the folder \"" + name + "\" cannot be made: " + ec.message() : std::string();
  }
  fs::create_directories(target.parent_path(), ec);
  if (ec || !LandsInside(folder, target)) return "the entry \"" + name + "\" cannot be written inside the folder";
  fs::path part = target;
  part += ".part";
  std::unique_ptr<std::FILE, FileCloser> out(std::fopen(part.c_str(), "wb"));
  if (!out) return "the file \"" + name + "\" cannot be written";
  std::uint16_t crc = 0;
  std::size_t total = 0;
  bool written = true;
  std::vector<std::uint8_t> buffer(64 * 1024);
  for (std::size_t got; (got = lha_reader_read(&reader, buffer.data(), buffer.size())) > 0; total += got) {
    crc = UpdateCrc16(crc, buffer.data(), got);
    written = written && std::fwrite(buffer.data(), 1, got, out.get()) == got;
  }
  written = std::fclose(out.release()) == 0 && written;
  if (!written || total != header.length || crc != header.crc) {
    fs::remove(part, ec);
    return written ? "the entry \"" + name + "\" is damaged" : "the file \"" + name + "\" cannot be written";
  }
  fs::rename(part, target, ec);
  if (ec) {
    fs::remove(part, ec);
    return "the file \"" + name + "\" cannot be put in place";
  }
  const struct timespec times[2] = {{static_cast<time_t>(header.timestamp), 0}, {static_cast<time_t>(header.timestamp), 0}};
  ::utimensat(AT_FDCWD, target.c_str(), times, 0);
  return {};
}

}  // namespace

std::string CheckArchiveFile(const std::filesystem::path& file, const LzhLayout& layout) {
  for (const std::string& name : layout.names)
    if (!NameStaysInside(name)) return "the entry \"" + name + "\" would be written outside the folder";
  std::size_t members = 0;
  const std::string why = ForEachMember(file, members, [](LHAReader& reader, const LHAFileHeader& header, const std::string& name) {
    if (!IsDirectoryEntry(header) && !lha_reader_check(&reader, nullptr, nullptr))
      return "the entry \"" + name + "\" is damaged";
    return std::string();
  });
  if (!why.empty()) return why;
  if (members != layout.names.size()) return "not all of its entries can be read";
  return {};
}

bool ReadFileBytes(const std::filesystem::path& file, std::vector<std::uint8_t>& bytes) {
  bytes.clear();
  std::unique_ptr<std::FILE, FileCloser> in(std::fopen(file.c_str(), "rb"));
  if (!in) return false;
  std::uint8_t chunk[64 * 1024];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, in.get())) > 0;) bytes.insert(bytes.end(), chunk, chunk + got);
  return std::ferror(in.get()) == 0;
}

std::string ExtractArchiveFile(const std::filesystem::path& file, const std::filesystem::path& folder,
                               ExtractCheck check) {
  std::vector<std::uint8_t> image;
  if (!ReadFileBytes(file, image)) return "it cannot be read";
  std::string why;
  const std::optional<LzhLayout> layout = ReadLzhLayout(image, why);
  if (!layout) return why;
  if (check == ExtractCheck::WholeArchiveFirst) {
    // Nothing is written unless every entry decodes and stays inside the folder.
    if (why = CheckArchiveFile(file, *layout); !why.empty()) return why;
  } else {
    for (const std::string& name : layout->names)
      if (!NameStaysInside(name)) return "the entry \"" + name + "\" would be written outside the folder";
  }
  std::size_t members = 0;
  why = ForEachMember(file, members, [&folder](LHAReader& reader, const LHAFileHeader& header, const std::string& name) {
    return ExtractMember(reader, header, name, folder);
  });
  if (why.empty() && members != layout->names.size()) return "not all of its entries can be read";
  return why;
}

}  // namespace platform_archive
