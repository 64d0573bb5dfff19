// The drive database download over a scripted exchange answered by the simulated drive's
// command model: the transfer byte for byte at every block boundary, the sizes it refuses,
// the progress bar, what is written as "Temp.lzh", and the archives it will not extract.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "quillon/requests/drive_database_download.h"
#include "platform/archive/lzh_reader.h"
#include "tests/requests/download_support.h"

using namespace quillon;
using namespace platform::archive;
using namespace quillon_test;
namespace fs = std::filesystem;

namespace {

constexpr int kBoxWidth = ProgressBar::kBoxWidth;

// One download against a drive holding `archive` (none: an erased area).
drivesim::DriveOptions holding(std::optional<Bytes> archive) {
  drivesim::DriveOptions options;
  options.archive = std::move(archive);
  return options;
}

struct Download {
  explicit Download(std::optional<Bytes> archive, drivesim::Misbehaviour misbehaviour = {})
      : sim(drivesim::DriveProfile(holding(std::move(archive))), misbehaviour) {
    appFolder = folder.path() / "Quillon";
    fs::create_directories(appFolder);
    bar.setListener([this](int width) { widestScale = std::max(widestScale, width); });
    DriveDatabaseDisplay display{
        [this](int block, int last) { captions.push_back(std::to_string(block) + "/" + std::to_string(last)); },
        [this](const std::string& message) { messages.push_back(message); }};
    routine = std::make_unique<DriveDatabaseDownload>(exchange, bar, display,
                                                      [this](const std::string& command) { return extract(command); },
                                                      appFolder);
  }

  int extract(const std::string& command) {
    commands.push_back(command);
    fs::path archive, target;
    if (!ParseExtractCommand(command, archive, target)) return 2;
    archiveSeen = ReadFileBytes(archive);
    return extractResult ? *extractResult : ExtractWithoutChecks(archive, target);
  }

  fs::path temp() const { return appFolder / "Temp.lzh"; }

  TempFolder folder;
  fs::path appFolder;
  SimulatedExchange sim;
  ScriptedExchange& exchange = sim.exchange;
  ProgressBar bar;
  int widestScale = 0;
  std::vector<std::string> captions, messages, commands;
  Bytes archiveSeen;
  std::optional<int> extractResult;  // set: the archiver answers this instead of extracting
  std::unique_ptr<DriveDatabaseDownload> routine;
};

Bytes archiveOf(const std::vector<drivesim::LzhMember>& members) { return drivesim::StoredLzhArchive(members); }

void putLittle(Bytes& bytes, std::size_t at, std::uint32_t value, int width) {
  for (int i = 0; i < width; ++i) bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

// One stored member under a level-1 or level-2 header, with the directory in an extension
// (0xFF between its parts, as LHA writes it), followed by the end mark.
Bytes extendedHeaderArchive(int level, const std::string& directory, const std::string& file, const Bytes& data) {
  std::vector<Bytes> extensions;  // type, data, then the next one's size
  if (level == 2) extensions.push_back(Bytes{0x01});
  if (level == 2) extensions.back().insert(extensions.back().end(), file.begin(), file.end());
  if (!directory.empty()) extensions.push_back(Bytes{0x02});
  if (!directory.empty()) extensions.back().insert(extensions.back().end(), directory.begin(), directory.end());
  for (Bytes& e : extensions) e.insert(e.end(), {0, 0});
  std::size_t extensionBytes = 0;
  for (std::size_t i = 0; i < extensions.size(); ++i) {
    extensionBytes += extensions[i].size();
    if (i + 1 < extensions.size())
      putLittle(extensions[i], extensions[i].size() - 2, static_cast<std::uint32_t>(extensions[i + 1].size()), 2);
  }
  const std::uint32_t firstSize = extensions.empty() ? 0 : static_cast<std::uint32_t>(extensions[0].size());

  Bytes header;
  if (level == 1) {
    header.assign(27 + file.size(), 0);
    header[0] = static_cast<std::uint8_t>(header.size() - 2);
    header[21] = static_cast<std::uint8_t>(file.size());
    std::copy(file.begin(), file.end(), header.begin() + 22);
    putLittle(header, 22 + file.size(), drivesim::LzhCrc16(data), 2);
    header[24 + file.size()] = 'U';
    putLittle(header, 25 + file.size(), firstSize, 2);
    putLittle(header, 7, static_cast<std::uint32_t>(extensionBytes + data.size()), 4);
  } else {
    header.assign(26, 0);
    putLittle(header, 0, static_cast<std::uint32_t>(26 + extensionBytes), 2);
    putLittle(header, 21, drivesim::LzhCrc16(data), 2);
    header[23] = 'U';
    putLittle(header, 24, firstSize, 2);
    putLittle(header, 7, static_cast<std::uint32_t>(data.size()), 4);
  }
  std::copy_n("-lh0-", 5, header.begin() + 2);
  putLittle(header, 11, static_cast<std::uint32_t>(data.size()), 4);
  header[19] = 0x20;
  header[20] = static_cast<std::uint8_t>(level);
  for (const Bytes& e : extensions) header.insert(header.end(), e.begin(), e.end());
  if (level == 1) {
    unsigned sum = 0;
    for (std::size_t i = 2; i < 27 + file.size(); ++i) sum += header[i];
    header[1] = static_cast<std::uint8_t>(sum);
  }
  header.insert(header.end(), data.begin(), data.end());
  header.push_back(0);
  return header;
}

}  // namespace

TEST(DriveDatabaseTransfer, EverySizeArrivesByteForByteInNumberedBlocks) {
  for (std::size_t size : std::initializer_list<std::size_t>{0, 1, 61, 62, 63, 124, 125, 200003, kLargestReceivableArchive}) {
    SCOPED_TRACE("size " + std::to_string(size));
    const Bytes data = PatternBytes(size, static_cast<std::uint32_t>(size));
    Download d(data);
    const auto received = d.routine->ReceiveArchiveBytes();
    ASSERT_TRUE(received);
    EXPECT_TRUE(*received == data);
    EXPECT_FALSE(d.exchange.state().AbortFlag);

    // "FB" first, then blocks 0 to L in order, each as four upper-case hex digits.
    const std::int64_t last = LastArchiveBlock(static_cast<std::uint32_t>(size));
    EXPECT_EQ(last, size == 0 ? -1 : static_cast<std::int64_t>((size - 1) / 62));
    ASSERT_EQ(d.exchange.sent.size(), static_cast<std::size_t>(last + 2));
    EXPECT_EQ(d.exchange.sent[0], "FB");
    EXPECT_EQ(d.exchange.forms[0], ReplyForm::Text);
    for (std::int64_t b = 0; b <= last; ++b) {
      EXPECT_EQ(d.exchange.sent[static_cast<std::size_t>(b + 1)], ArchiveBlockRequest(static_cast<int>(b)));
      EXPECT_EQ(d.exchange.forms[static_cast<std::size_t>(b + 1)], ReplyForm::Binary);
    }

    // The bar: never past its frame, full once the file is in (one-block files included).
    EXPECT_LE(d.widestScale, kBoxWidth);
    if (size > 0) {
      EXPECT_EQ(d.bar.scaleWidth(), kBoxWidth);
      EXPECT_EQ(d.captions.back(), std::to_string(last) + "/" + std::to_string(last));
    }
  }
  EXPECT_EQ(ArchiveBlockRequest(10), "FR000A");
  EXPECT_EQ(ArchiveBlockRequest(255), "FR00FF");
  EXPECT_EQ(ArchiveBlockRequest(32767), "FR7FFF");  // the largest size that can be numbered
  EXPECT_DOUBLE_EQ(ArchiveBlockStepWidth(kBoxWidth, 0), kBoxWidth / 0.7);
  EXPECT_DOUBLE_EQ(ArchiveBlockStepWidth(kBoxWidth, 40), kBoxWidth / (0.7 * 40));

  // Beyond it the size is refused before any block; the save run goes on without the database.
  for (const auto& [sizeReply, bytes] : {std::pair{"\x06" "0001F0000", "2031616 bytes"},  // 32768 blocks of 62
                                         std::pair{"\x06" "0FFFFFFFF", "4294967295 bytes"}}) {
    Download d(Bytes(10, 1));
    d.exchange.replies.push_back(ScriptedReply::Text(sizeReply));
    d.routine->ReceiveDriveDatabase();
    EXPECT_EQ(d.routine->outcome(), DriveDatabaseOutcome::Refused);
    EXPECT_EQ(d.exchange.countOf("FR"), 0u);
    ASSERT_EQ(d.messages.size(), 1u);
    EXPECT_NE(d.messages[0].find(bytes), std::string::npos) << d.messages[0];
    EXPECT_FALSE(d.exchange.state().AbortFlag);
    EXPECT_FALSE(fs::exists(d.temp()));
    EXPECT_TRUE(d.commands.empty());
  }
}

TEST(DriveDatabaseTransfer, ErasedZeroAndBrokenTransfers) {
  {  // No archive: the drive's erased area ends the routine silently, without a file.
    Download d(std::nullopt);
    d.routine->ReceiveDriveDatabase();
    EXPECT_EQ(d.routine->outcome(), DriveDatabaseOutcome::NothingStored);
    EXPECT_EQ(d.exchange.sent, (std::vector<std::string>{"FB", "FR0000"}));
    EXPECT_TRUE(d.messages.empty());
    EXPECT_FALSE(fs::exists(d.temp()));
  }
  {  // A size of 0: no blocks, nothing to extract.
    Download d(Bytes{});
    d.routine->ReceiveDriveDatabase();
    EXPECT_EQ(d.routine->outcome(), DriveDatabaseOutcome::NothingStored);
    EXPECT_EQ(d.exchange.sent, (std::vector<std::string>{"FB"}));
    EXPECT_TRUE(d.commands.empty());
  }
  {  // An all-zero block ends the transfer; what came before it is extracted, the bar drops to 0.
    const Bytes archive = archiveOf({{"A.pdn", TextBytes("first part")}});
    Bytes stored = archive;
    stored.resize(2 * 62, 0);
    stored.resize(3 * 62 + 20, 0x41);
    Download d(stored);
    d.routine->ReceiveDriveDatabase();
    EXPECT_EQ(d.exchange.countOf("FR"), 2u);
    EXPECT_EQ(d.bar.scaleWidth(), 0);
    EXPECT_EQ(d.routine->outcome(), DriveDatabaseOutcome::Extracted);
    EXPECT_EQ(d.archiveSeen, archive);
    EXPECT_EQ(ReadFileBytes(d.appFolder / "A.pdn"), TextBytes("first part"));
  }
  {  // Inside a member whose archive is not complete yet, such blocks are the member's bytes.
    Bytes member = PatternBytes(100, 8);
    member.insert(member.end(), 200, 0);
    member.insert(member.end(), 200, 0xFF);
    member.push_back(0x33);
    const Bytes archive = archiveOf({{"SIM01.00.mdb", member}});
    Bytes stored = archive;
    stored.resize(stored.size() + 3 * 62, 0);
    Download d(stored);
    d.routine->ReceiveDriveDatabase();
    EXPECT_EQ(d.routine->outcome(), DriveDatabaseOutcome::Extracted);
    EXPECT_EQ(d.archiveSeen, archive);
    EXPECT_EQ(ReadFileBytes(d.appFolder / "SIM01.00.mdb"), member);
    EXPECT_LT(d.exchange.countOf("FR"), stored.size() / 62 + 1);  // the padding after the archive ends it
  }
  {  // A refusal by the drive in the middle: the run ends, nothing is written or extracted.
    drivesim::Misbehaviour nak;
    nak.nakRequestNumber = 4;  // "FB", "FR0000", "FR0001", then "FR0002"
    Download d(PatternBytes(500, 3), nak);
    WriteFileBytes(d.temp(), TextBytes("left from before"));
    d.routine->ReceiveDriveDatabase();
    EXPECT_EQ(d.routine->outcome(), DriveDatabaseOutcome::Aborted);
    EXPECT_TRUE(d.exchange.state().AbortFlag);
    EXPECT_EQ(d.exchange.sent.back(), "FR0002");
    EXPECT_TRUE(d.commands.empty());
    EXPECT_EQ(ReadFileBytes(d.temp()), TextBytes("left from before"));  // not touched
  }
  {  // A block reply too short for its bytes ends the run with a message naming the request.
    drivesim::Misbehaviour cut;
    cut.shortCommand = "FR";
    Download d(PatternBytes(100, 4), cut);
    d.routine->ReceiveDriveDatabase();
    EXPECT_TRUE(d.exchange.state().AbortFlag);
    EXPECT_NE(d.exchange.state().ErrorText.find("\"FR0000\""), std::string::npos);
    EXPECT_EQ(d.exchange.countOf("FR"), 1u);
  }
  {  // A size that is not hexadecimal ends the run; no block is asked for.
    drivesim::Misbehaviour garbled;
    garbled.nonHexCommand = "FB";
    Download d(PatternBytes(100, 5), garbled);
    d.routine->ReceiveDriveDatabase();
    EXPECT_TRUE(d.exchange.state().AbortFlag);
    EXPECT_EQ(d.exchange.countOf("FR"), 0u);
  }
  {  // After an abort nothing is sent at all.
    Download d(PatternBytes(100, 6));
    d.exchange.state().AbortFlag = true;
    d.routine->ReceiveDriveDatabase();
    EXPECT_TRUE(d.exchange.sent.empty());
  }
}

TEST(DriveDatabaseArchiveFile, TrailingZerosAreTrimmedButAWholeArchiveIsKept) {
  // Not an archive: the bytes up to the last non-zero one, then exactly one 0.
  Bytes data = TextBytes("xyz");
  data.insert(data.end(), 10, 0);
  EXPECT_EQ(ArchiveFileContent(data), (Bytes{'x', 'y', 'z', 0}));
  EXPECT_EQ(ArchiveFileContent(Bytes(5, 0)), Bytes{0});
  EXPECT_EQ(ArchiveFileContent(Bytes{}), Bytes{0});

  // An archive whose last member ends in zeros, padded with zeros by the drive: kept whole.
  Bytes member = TextBytes("page");
  member.insert(member.end(), 30, 0);
  const Bytes archive = archiveOf({{"SIM01.00.mdb", member}});
  Bytes padded = archive;
  padded.insert(padded.end(), 40, 0);
  EXPECT_EQ(ArchiveFileContent(padded), archive);

  std::string why;
  const auto layout = ReadLzhLayout(padded, why);
  ASSERT_TRUE(layout) << why;
  EXPECT_EQ(layout->extent, archive.size());
  EXPECT_EQ(layout->names, (std::vector<std::string>{"SIM01.00.mdb"}));
  EXPECT_FALSE(ReadLzhLayout(Bytes(archive.begin(), archive.end() - 10), why));
  EXPECT_FALSE(ReadLzhLayout(TextBytes("not an archive at all"), why));
  EXPECT_FALSE(ReadLzhLayout(Bytes{0}, why));

  // Stored without its end byte, an archive is complete, yet while blocks still arrive it may
  // have more to come.
  const Bytes withoutEnd(archive.begin(), archive.end() - 1);
  const auto open = ReadLzhLayout(withoutEnd, why);
  ASSERT_TRUE(open) << why;
  EXPECT_FALSE(open->endMark);
  EXPECT_EQ(open->extent, withoutEnd.size());
  EXPECT_EQ(ClassifyLzhPrefix(withoutEnd), LzhPrefix::Unfinished);
}

TEST(DriveDatabaseArchiveFile, ExtendedHeadersAndAnyBytesAreReadWithinBounds) {
  const Bytes data = TextBytes("definition");
  for (int level : {1, 2}) {
    SCOPED_TRACE("level " + std::to_string(level));
    const Bytes archive = extendedHeaderArchive(level, "defs\xFF", "SIM01.00_RX-Fenn.pdn", data);
    std::string why;
    const auto layout = ReadLzhLayout(archive, why);
    ASSERT_TRUE(layout) << why;
    EXPECT_EQ(layout->names, (std::vector<std::string>{"defs/SIM01.00_RX-Fenn.pdn"}));
    EXPECT_EQ(layout->extent, archive.size());
    EXPECT_EQ(ClassifyLzhPrefix(Bytes(archive.begin(), archive.end() - 3)), LzhPrefix::Unfinished);
  }

  // Every cut and many byte changes of an archive, and random bytes: read, never past the end.
  // A cut right after a member is an archive without its end byte (of one or two members).
  const Bytes first = archiveOf({{"a.mdb", PatternBytes(200, 31)}});
  const Bytes archive = archiveOf({{"a.mdb", PatternBytes(200, 31)}, {"b.pdn", PatternBytes(90, 32)}});
  std::string why;
  for (std::size_t cut = 0; cut < archive.size(); ++cut) {
    const Bytes part(archive.begin(), archive.begin() + static_cast<std::ptrdiff_t>(cut));
    const bool afterMember = cut == first.size() - 1 || cut == archive.size() - 1;
    EXPECT_EQ(ReadLzhLayout(part, why).has_value(), afterMember) << cut;
    EXPECT_NE(ClassifyLzhPrefix(part), LzhPrefix::Whole);
  }
  for (const Bytes& original : {archive, extendedHeaderArchive(1, "d\xFF", "f", data),
                                 extendedHeaderArchive(2, "d\xFF", "f", data)})
    for (std::size_t at = 0; at < original.size(); ++at)
      for (std::uint8_t value : {std::uint8_t{0}, std::uint8_t{1}, std::uint8_t{2}, std::uint8_t{0x7F}, std::uint8_t{0xFF}}) {
        Bytes changed = original;
        changed[at] = value;
        (void)ReadLzhLayout(changed, why);
        (void)ClassifyLzhPrefix(changed);
        (void)ClassifyLzhPrefix(Bytes(changed.begin(), changed.begin() + static_cast<std::ptrdiff_t>(at)));
      }
  for (std::uint32_t seed = 0; seed < 300; ++seed) {
    Bytes noise = PatternBytes(seed % 90, seed);
    if (!noise.empty()) noise[0] = static_cast<std::uint8_t>(seed);
    if (noise.size() > 20) noise[20] = static_cast<std::uint8_t>(seed % 4);  // a level that exists
    (void)ReadLzhLayout(noise, why);
  }
}

TEST(DriveDatabaseExtraction, ReceivedArchiveIsExtractedIntoTheProgramFolderAndRemoved) {
  Bytes database = PatternBytes(5000, 11);
  database.insert(database.end(), 100, 0);  // as a database file often ends
  const Bytes definition = TextBytes("<signal name=\"ACC_TIME1\" address=\"0405A000\"/>\r\n");
  const Bytes archive = archiveOf({{"SIM01.00_RX-Fenn.pdn", definition}, {"SIM01.00.mdb", database}});
  Bytes withoutEnd = archive;
  withoutEnd.pop_back();  // the end byte: the drive stored the archive without it
  struct Case {
    Bytes stored;
    std::vector<std::pair<fs::path, Bytes>> files;
  };
  for (const Case& c : {Case{archive, {{"SIM01.00.mdb", database}, {"SIM01.00_RX-Fenn.pdn", definition}}},
                        Case{withoutEnd, {{"SIM01.00_RX-Fenn.pdn", definition}, {"SIM01.00.mdb", database}}},
                        Case{extendedHeaderArchive(1, "defs\xFF", "x.pdn", definition), {{"defs/x.pdn", definition}}},
                        Case{extendedHeaderArchive(2, "defs\xFF", "x.pdn", definition), {{"defs/x.pdn", definition}}}}) {
    SCOPED_TRACE(c.files.back().first);
    Download d(c.stored);
    WriteFileBytes(d.temp(), TextBytes("an older download"));
    d.routine->ReceiveDriveDatabase();
    EXPECT_EQ(d.routine->outcome(), DriveDatabaseOutcome::Extracted) << d.routine->refusal();
    ASSERT_EQ(d.commands.size(), 1u);
    EXPECT_EQ(d.commands[0], "e \"" + d.temp().string() + "\" \"" + d.appFolder.string() + "/\" -n1 -gm1");
    // "Temp.lzh" as the archiver saw it: whole, with its end byte.
    EXPECT_EQ(d.archiveSeen, c.stored.size() == withoutEnd.size() ? archive : c.stored);
    for (const auto& [name, bytes] : c.files) EXPECT_EQ(ReadFileBytes(d.appFolder / name), bytes) << name;
    EXPECT_FALSE(fs::exists(d.temp()));
    EXPECT_TRUE(d.messages.empty());
    EXPECT_FALSE(d.exchange.state().AbortFlag);
  }
}

TEST(DriveDatabaseExtraction, HostileDamagedOrClashingArchivesAreRefusedWholeNamingThem) {
  const TempFolder outsideRoot;
  const fs::path outside = outsideRoot.path() / "outside";
  const Bytes fine = TextBytes("fine");
  struct Case {
    Bytes archive;
    std::string named;  // what the message must hold besides the archive's name
  };
  std::vector<Case> cases;
  for (const std::string& name : {std::string("../x"), std::string("..\\x"), std::string("sub/../../x"),
                                  (outside / "abs").string(), std::string("C:\\x"), std::string("\\x")})
    cases.push_back({archiveOf({{"good.pdn", fine}, {name, TextBytes("hostile")}}), "outside"});
  for (int level : {1, 2}) cases.push_back({extendedHeaderArchive(level, "..\xFF..\xFF", "x.pdn", fine), "../../x.pdn"});
  Bytes damaged = archiveOf({{"SIM01.00.mdb", PatternBytes(300, 12)}});
  damaged[100] ^= 0x01;  // inside the member: its CRC no longer matches
  Bytes truncated = archiveOf({{"SIM01.00.mdb", PatternBytes(300, 13)}});
  truncated.resize(200);
  for (const Bytes& broken : {damaged, truncated, TextBytes("not an archive")}) cases.push_back({broken, "not extracted"});
  // Entries for the save run's own files, a name twice, an entry below a file.
  for (const auto& [first, second] : std::vector<std::pair<std::string, std::string>>{
           {"good.pdn", "TRBSAVE/TRB_x.mdb"},
           {"good.pdn", "trbsave\\DriveSts_x.csv"},
           {"good.pdn", "TRBSAVE_20260203_090507.lzh"},
           {"good.pdn", "Trbsave_20260203_090507_incomplete/a.csv"},
           {"SIM01.00.mdb", "SIM01.00.mdb"},
           {"defs", "defs/SIM01.00.pdn"}})
    cases.push_back({archiveOf({{first, fine}, {second, TextBytes("planted")}}), second.substr(0, 7)});

  for (const Case& c : cases) {
    SCOPED_TRACE(c.named);
    Download d(c.archive);
    d.routine->ReceiveDriveDatabase();
    EXPECT_EQ(d.routine->outcome(), DriveDatabaseOutcome::Refused);
    EXPECT_TRUE(d.commands.empty());  // the archiver never sees it
    ASSERT_EQ(d.messages.size(), 1u);
    EXPECT_EQ(d.messages[0], d.routine->refusal());
    EXPECT_NE(d.messages[0].find(d.temp().string()), std::string::npos) << d.messages[0];
    EXPECT_NE(d.messages[0].find(c.named), std::string::npos) << d.messages[0];
    EXPECT_TRUE(fs::is_empty(d.appFolder)) << "nothing written, no folder made, no Temp.lzh left";
    EXPECT_FALSE(fs::exists(d.folder.path() / "x"));
    EXPECT_FALSE(fs::exists(outside));
    EXPECT_FALSE(d.exchange.state().AbortFlag);
  }

  // The archiver's own failure is reported too, and "Temp.lzh" still goes.
  Download failing(archiveOf({{"SIM01.00.mdb", PatternBytes(300, 14)}}));
  failing.extractResult = 3;
  failing.routine->ReceiveDriveDatabase();
  EXPECT_EQ(failing.routine->outcome(), DriveDatabaseOutcome::Refused);
  ASSERT_EQ(failing.messages.size(), 1u);
  EXPECT_NE(failing.messages[0].find("LHA error 3"), std::string::npos);
  EXPECT_FALSE(fs::exists(failing.temp()));

  EXPECT_TRUE(NameStaysInside("SIM01.00.mdb"));
  EXPECT_TRUE(NameStaysInside("defs/./SIM01.00_RX-Fenn.pdn"));
  EXPECT_TRUE(NameStaysInside("..pdn"));
  EXPECT_FALSE(NameStaysInside(""));
  EXPECT_FALSE(NameStaysInside("a/.."));
  // Names that merely begin alike are the drive's own.
  EXPECT_EQ(RefusedDriveArchiveName("TRBSAVEX.pdn"), "");
  EXPECT_EQ(RefusedDriveArchiveName("defs/TRBSAVE/x.pdn"), "");
  EXPECT_NE(RefusedDriveArchiveName("TrbSave"), "");
}
