// The quillon program as a user runs it: headless save runs against the simulated drive it
// starts in its own process, or against the drivesim program, on 127.0.0.1; the archive is
// extracted with lhasa's lha command and its files checked against the drive's own data.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>

#include "drivesim/drive_profile.h"
#include "drivesim/record_images.h"
#include "platform/shell/codepage.h"
#include "platform/shell/folders.h"
#include "tests/db/test_files.h"
#include "tests/output/record_file_expectations.h"
#include "tests/window/program_process.h"

namespace {
namespace fs = std::filesystem;
using quillon_test::FileText;
using quillon_test::Finished;
using quillon_test::QuillonProgram;
using quillon_test::RunProgram;

// What the simulated drive reports as its panel name, made safe for file names.
constexpr const char* kSafePanel = "Line 3 _ Winder #2";
constexpr const char* kInterfaceText = "V06.002";

Finished runQuillon(const QStringList& arguments) { return RunProgram(QuillonProgram(), arguments, 120000); }

std::vector<fs::path> entriesOf(const fs::path& folder, const std::string& prefix) {
  std::vector<fs::path> found;
  if (!fs::is_directory(folder)) return found;
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.path().filename().string().rfind(prefix, 0) == 0) found.push_back(entry.path());
  return found;
}

// The archive's files, extracted by lha into `into`; false when lha refused it.
bool extractWithLha(const fs::path& archive, const fs::path& into) {
  fs::create_directories(into);
  return std::system(("cd \"" + into.string() + "\" && lha -xq \"" + archive.string() + "\"").c_str()) == 0;
}

// The drivesim program on 127.0.0.1, any free port, stopped with SIGTERM at the end.
class DrivesimProgram {
 public:
  explicit DrivesimProgram(QStringList arguments) {
    arguments << "--port" << "0";
    process_.start(QStringLiteral(QUILLON_BINARY_DIR "/drivesim/drivesim"), arguments);
    if (!process_.waitForReadyRead(20000)) return;
    const QString started = QString::fromUtf8(process_.readLine());
    const auto match = QRegularExpression(QStringLiteral("on 127\\.0\\.0\\.1:(\\d+)")).match(started);
    if (match.hasMatch()) port_ = match.captured(1).toUShort();
    if (port_ == 0) ADD_FAILURE() << "drivesim did not start";
  }
  ~DrivesimProgram() {
    process_.terminate();
    if (!process_.waitForFinished(10000)) process_.kill();
  }
  std::uint16_t port() const { return port_; }

 private:
  QProcess process_;
  std::uint16_t port_ = 0;
};

// Tenths as the ratings show them: "0.0", one digit after the point.
std::string tenths(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}
// A drive time: year in full, then month and day joined by `d`, `between`, the time joined by `c`.
std::string stamp(const drivesim::TimeStamp& t, const char* d, const char* between, const char* c) {
  char text[64];
  std::snprintf(text, sizeof text, "%d%s%02d%s%02d%s%02d%s%02d%s%02d", 2000 + t.year, d, t.month, d, t.day, between,
                t.hour, c, t.minute, c, t.second);
  return text;
}
std::string crlfLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

// The six files of one bank's CSV set as the simulated drive's data dictates them, for a drive
// read with 16-bit samples: its texts as it sent them, in its code page.
std::map<std::string, std::string> expectedCsvSet(const drivesim::DriveProfile& d, int bank) {
  const std::string b = std::to_string(bank);
  std::map<std::string, std::string> files;
  std::vector<std::string> lines;
  const int signalCount = d.signalsPerBank();
  for (int i = 1; i <= d.maxGroupDepth() * 64; ++i) {
    std::string line = std::to_string(i);
    for (int signal = 1; signal <= signalCount; ++signal) line += "," + std::to_string(d.sample16(bank, signal, i));
    lines.push_back(line);
  }
  files["Trb" + b + "_Data.csv"] = crlfLines(lines);

  lines.clear();
  for (int e = 1; e <= 30; ++e)
    lines.push_back(std::to_string(e) + ", , ," + std::to_string(d.faultCode(bank, e)) + "," +
                    std::to_string(d.faultSample(bank, e)));
  files["Trb" + b + "_FI.csv"] = crlfLines(lines);

  const drivesim::DriveOptions& o = d.options();
  files["Trb" + b + "_Memo.csv"] = crlfLines({"1,DriveType," + o.driveType, "2,SoftVer," + o.softVersion,
                                              "3,PanelName," + d.sentText(o.panelName), "4,Custmer,??",
                                              "5,Templete#, 0", "6,FileFor,TraceBack"});
  lines.clear();
  int runningSignals = 0;
  for (int g = 1; g <= 3; ++g) {
    runningSignals += d.groupSignals(g);
    lines.push_back(std::to_string(g) + "," + std::to_string(d.groupDepth(g) * 64) + "," +
                    std::to_string(runningSignals) + "," + std::to_string(d.groupFaultIndex(bank, g)) + "," +
                    std::to_string(d.groupSampling(bank, g)));
  }
  files["Trb" + b + "_SampleParameters.csv"] = crlfLines(lines);

  const drivesim::TimeStamp t = d.bankTime(bank);
  const drivesim::Ratings& r = o.ratings;
  const double speed = r.motorSpeed > 0xF0000 ? static_cast<double>(r.motorSpeed) - 1048576 : r.motorSpeed;
  files["Trb" + b + "_Title.csv"] = crlfLines(
      {"1," + d.sentText(o.orderNumber1) + " " + d.sentText(o.orderNumber2) + "," + stamp(t, "/", "  ", ":") + ",3," +
       tenths(r.inverterVoltage) + "V - " + tenths(r.inverterCurrent / 10.0) + "A - " +
       tenths(r.inverterCapacity / 10.0) + "KVA," + tenths(r.motorOutput / 10.0) + "kW - " +
       std::to_string(r.motorPoles) + "P - " + std::to_string(r.motorVoltage) + "V - " +
       tenths(r.motorCurrent / 10.0) + "A - " + tenths(r.motorFrequency / 10.0) + "Hz - " + tenths(speed / 10.0) +
       "min-1, , "});

  lines.clear();
  for (int signal = 1; signal <= signalCount; ++signal) {
    char address[16];
    std::snprintf(address, sizeof address, "&H%04X", d.signalAddress16(bank, signal));
    lines.push_back(std::to_string(signal) + ", ," + address + ", , , , , ");
  }
  files["Trb" + b + "_Word.csv"] = crlfLines(lines);
  return files;
}

// The bank folder's name: panel name, then the bank's date and time.
std::string csvSetFolderName(const drivesim::DriveProfile& d, int bank, const std::string& safePanel = kSafePanel) {
  return "TRB_" + safePanel + "_" + stamp(d.bankTime(bank), "", "_", "");
}

// The text of a UTF-16LE file with its byte-order mark, as UTF-8.
std::string utf16LeAsUtf8(const std::string& bytes) {
  if (bytes.size() < 2 || bytes.substr(0, 2) != "\xFF\xFE") return "<no UTF-16LE byte-order mark>";
  std::u16string units((bytes.size() - 2) / 2, u'\0');
  std::memcpy(units.data(), bytes.data() + 2, units.size() * 2);
  return QString::fromStdU16String(units).toStdString();
}

bool isValidUtf8(const std::string& text) {
  for (std::size_t i = 0; i < text.size(); i += platform::shell::Utf8CharacterLength(text, i))
    if (platform::shell::Utf8CharacterLength(text, i) == 1 && static_cast<unsigned char>(text[i]) >= 0x80) return false;
  return true;
}

// The setting-parameter workbook of `panel` in `folder`; empty when there is none.
fs::path setpointWorkbook(const fs::path& folder, const std::string& panel) {
  for (const fs::path& file : entriesOf(folder, "Set_Sram_" + panel + "_"))
    if (file.extension() == ".mdb") return file;
  return {};
}

// A simulated run's record files, converted into the setting-parameter workbook and then
// deleted: the workbook's record tables hold what the drive reported. Returns the workbook.
fs::path ExpectConvertedRecords(const fs::path& extracted, const drivesim::RecordImages& drive, bool eventLog) {
  for (const auto& entry : fs::directory_iterator(extracted))
    EXPECT_NE(entry.path().extension(), ".csv") << entry.path();
  const fs::path workbook = setpointWorkbook(extracted, kSafePanel);
  if (workbook.empty()) {
    ADD_FAILURE() << "no setting-parameter workbook";
    return workbook;
  }
  EXPECT_EQ(fs::status(workbook).permissions() & fs::perms::owner_write, fs::perms::none) << "read-only";
  for (int r = 1; r <= 31; ++r)
    EXPECT_EQ(db_test::queryText(workbook, "SELECT TimeS || ',' || FI1 || ',' || Fi2 FROM TroubleRecord WHERE ID = " +
                                               std::to_string(r)),
              stamp(drive.troubleTime(r), "/", " ", ":") + "," + std::to_string(drive.troubleCode(r, 0)) + "," +
                  std::to_string(drive.troubleCode(r, 1)));
  for (int e = 1; e <= 15; ++e)
    EXPECT_EQ(db_test::queryText(workbook, "SELECT TimeS || ',' || Event FROM EventCount WHERE ID = " + std::to_string(e)),
              stamp(drive.eventTime(e), "/", " ", ":") + "," + std::to_string(drive.eventCount(e)));
  EXPECT_EQ(db_test::queryText(workbook, "SELECT Data FROM DriveSts WHERE Item = 'Drive Interface Ver'"),
            std::string(" ") + kInterfaceText);
  EXPECT_EQ(db_test::queryText(workbook, "SELECT COUNT(*) FROM sqlite_master WHERE name = 'Eventlog'"),
            eventLog ? "1" : "0");
  if (eventLog) {
    EXPECT_EQ(db_test::queryText(workbook, "SELECT COUNT(*) FROM Eventlog"), "64");
  }
  return workbook;
}

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = fs::temp_directory_path() / ("quillon_e2e_" + std::to_string(::getpid()) + "_" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    platform::shell::DeleteFolder(base_, true);
    fs::create_directories(base_);
  }
  void TearDown() override { platform::shell::DeleteFolder(base_, true); }
  QStringList simulatedRun() const {
    return {"--simulate", "--headless", "--port", "0", "--documents", QString::fromStdString((base_ / "docs").string())};
  }
  QStringList runAgainst(const DrivesimProgram& drive) const {
    return {"--headless", "--drive", "127.0.0.1", "--drive-port", QString::number(drive.port()), "--port", "0",
            "--documents", QString::fromStdString((base_ / "docs").string()), "--install-root",
            QString::fromStdString((base_ / "no-install").string())};
  }
  // The one dated archive of the run, extracted into `name`.
  fs::path extractedArchive(const std::string& name) const {
    const std::vector<fs::path> archives = entriesOf(base_ / "docs" / "Quillon", "TRBSAVE_");
    if (archives.size() != 1 || archives[0].extension() != ".lzh") return {};
    const fs::path into = base_ / name;
    return extractWithLha(archives[0], into) ? into : fs::path();
  }
  fs::path base_;
};

TEST_F(EndToEnd, HeadlessSimulatedRunLeavesADatedArchiveOfEveryFile) {
  const Finished run = runQuillon(simulatedRun());
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_NE(run.output.find("Connecting to Drive Done>"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("Compress the files Done>"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("Open Folder? No"), std::string::npos) << run.output;
  // Output and error stream are one pipe here: the closing message shows once.
  const std::size_t closing = run.output.find("Complete\nTraceback file location = ");
  ASSERT_NE(closing, std::string::npos) << run.output;
  EXPECT_EQ(run.output.find("Complete\nTraceback", closing + 1), std::string::npos) << run.output;

  const fs::path appFolder = base_ / "docs" / "Quillon";
  const std::vector<fs::path> archives = entriesOf(appFolder, "TRBSAVE_");
  ASSERT_EQ(archives.size(), 1u);
  EXPECT_EQ(archives[0].filename().string().size(), std::string("TRBSAVE_20261207_064100.lzh").size());
  EXPECT_FALSE(fs::exists(appFolder / "TRBSAVE")) << "the packed folder is removed";

  // lhasa's own command is an independent reader of the archive.
  const fs::path extracted = extractedArchive("x");
  ASSERT_FALSE(extracted.empty());
  // The simulated drive's database is found: one workbook per recorded bank (0, 2, 5).
  EXPECT_EQ(entriesOf(extracted, "TRB").size(), 3u);
  // "RX-Fenn" at interface level 6 keeps an event log; its CSV files became the workbook.
  const fs::path workbook = ExpectConvertedRecords(extracted, drivesim::RecordImages("RX-Fenn"), true);
  EXPECT_EQ(db_test::queryText(workbook, "SELECT Memo FROM Memo WHERE Title = 'DriveType'"), "RX-Fenn");
  EXPECT_EQ(db_test::queryText(workbook, "SELECT Data FROM DataSet WHERE ID = 2"), " 100");  // ACC_TIME1
  // The drive configuration file beside it, completed from the product definition.
  fs::path document = workbook;
  document.replace_extension(".drc");
  const std::string text = utf16LeAsUtf8(FileText(document));
  EXPECT_NE(text.find("producttype=\"RX-Fenn\" firmwareversion=\"SIM01.00\""), std::string::npos) << text;
  EXPECT_NE(text.find("ipaddress=\"127.0.0.1\""), std::string::npos) << text;
  EXPECT_NE(text.find("<signal value=\"100\" id=\"ACC_TIME1\"/>"), std::string::npos) << text;
  EXPECT_NE(text.find("<signal value=\"0\" id=\"DEC_TIME1\"/>"), std::string::npos) << text;
}

TEST_F(EndToEnd, SeveralSimulatedDrivesSavedAtOnceEachIntoItsFolder) {
  QStringList arguments = simulatedRun();
  arguments << "--simulate-count" << "3";
  const Finished run = runQuillon(arguments);
  ASSERT_EQ(run.exitCode, 0) << run.output;
  // Every line of a run names its drive, up to the table at the end.
  const std::size_t table = run.output.find("\nDrive ");
  ASSERT_NE(table, std::string::npos) << run.output;
  for (std::size_t line = 0; line < table; line = run.output.find('\n', line) + 1)
    ASSERT_EQ(run.output.compare(line, 10, "[127.0.0.1"), 0) << run.output.substr(line, 80);
  for (int number = 1; number <= 3; ++number) {
    const std::string n = std::to_string(number);
    EXPECT_NE(run.output.find("[127.0.0.1" + n + " LINE/" + n + "] Compress the files Done>"), std::string::npos)
        << run.output;
    const std::vector<fs::path> archives = entriesOf(base_ / "docs" / "Quillon" / ("LINE_" + n), "TRBSAVE_");
    ASSERT_EQ(archives.size(), 1u) << n;
    EXPECT_NE(run.output.find(archives[0].string()), std::string::npos) << run.output;
  }
  EXPECT_TRUE(entriesOf(base_ / "docs" / "Quillon", "TRBSAVE").empty()) << "nothing in the one-drive place";
}

TEST_F(EndToEnd, SimulatedDriveTypeWithoutEventLog) {
  QStringList arguments = simulatedRun();
  arguments << "--simulate-type" << "RX-Brin";
  const Finished run = runQuillon(arguments);
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_NE(run.output.find("DriveType = \"RX-Brin\""), std::string::npos) << run.output;
  const fs::path extracted = extractedArchive("x");
  ASSERT_FALSE(extracted.empty());
  const fs::path workbook = ExpectConvertedRecords(extracted, drivesim::RecordImages("RX-Brin"), false);
  // The largest area: every non-zero word of it has a row, and the closing row comes last.
  EXPECT_EQ(db_test::queryText(workbook, "SELECT symbol FROM DataSet ORDER BY ID DESC LIMIT 1"), "SETEND");
  EXPECT_EQ(db_test::queryText(workbook, "SELECT symbol FROM DataSet WHERE ID = 1"), "0x4059000");
}

TEST_F(EndToEnd, DriveWithoutItsDatabaseGivesCsvSetsByteForByte) {
  // A 16-bit drive of a firmware version whose database is nowhere: every bank as CSV set.
  drivesim::DriveOptions options;
  options.driveType = "RX-Ardo";
  options.interfaceLevel = 5;
  options.softVersion = "SIM09.99";
  const drivesim::DriveProfile profile(options);
  const DrivesimProgram drive({"--type", "RX-Ardo", "--level", "5", "--soft-version", "SIM09.99"});

  const Finished run = runQuillon(runAgainst(drive));
  ASSERT_EQ(run.exitCode, 0) << run.output;
  const fs::path extracted = extractedArchive("x");
  ASSERT_FALSE(extracted.empty());
  for (const int bank : options.recordedBanks) {
    const fs::path folder = extracted / csvSetFolderName(profile, bank);
    ASSERT_TRUE(fs::is_directory(folder)) << folder;
    const auto expected = expectedCsvSet(profile, bank);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 6);
    for (const auto& [name, text] : expected) EXPECT_EQ(FileText(folder / name), text) << name;
  }
  EXPECT_TRUE(entriesOf(extracted, "TRB_").size() == options.recordedBanks.size());

  const drivesim::RecordImages images("RX-Ardo");
  const quillon_test::SavedRecordFiles saved{extracted, kSafePanel, "V05.002"};
  quillon_test::ExpectSetpointFile(saved, images, 0, 3072);
  quillon_test::ExpectRecordAndStatusFiles(saved, images);
  EXPECT_TRUE(entriesOf(extracted, "Evtlg_").empty());
}

TEST_F(EndToEnd, RefusedRequestEndsTheRunWithItsMessageAndNoArchive) {
  const DrivesimProgram drive({"--nak-command", "MY51", "--nak-code", "31"});
  const Finished run = runQuillon(runAgainst(drive));
  EXPECT_EQ(run.exitCode, 1) << run.output;
  EXPECT_NE(run.output.find("Received \"NAK\"\nTool Error Code = 1Fh"), std::string::npos) << run.output;
  EXPECT_TRUE(entriesOf(base_ / "docs" / "Quillon", "TRBSAVE_").empty());
}

TEST_F(EndToEnd, CtrlCCancelsTheHeadlessRunAndSaysWhereTheDataIs) {
  // A drive slow enough that the run is still reading banks when Ctrl-C comes.
  const DrivesimProgram drive({"--delay", "30"});
  QProcess process;
  process.start(QuillonProgram(), runAgainst(drive));
  std::string output;
  while (output.find("Bank 2 (2 of 3)") == std::string::npos && process.waitForReadyRead(60000))
    output += process.readAllStandardOutput().toStdString();
  ASSERT_NE(output.find("Bank 2 (2 of 3)"), std::string::npos) << output;
  ::kill(static_cast<pid_t>(process.processId()), SIGINT);
  ASSERT_TRUE(process.waitForFinished(60000));
  output += process.readAllStandardOutput().toStdString();
  const std::string errors = process.readAllStandardError().toStdString();
  EXPECT_EQ(process.exitCode(), 2) << output;
  // Said on both streams when they are read apart: the window's box (the output) and the
  // error stream.
  const fs::path working = base_ / "docs" / "Quillon" / "TRBSAVE";
  const std::string told = "Cancelled\n\nThe data read so far is in " + working.string();
  EXPECT_NE(output.find(told), std::string::npos) << output;
  EXPECT_NE(output.find("Receiving Trace Back Data Cancelled>\n"), std::string::npos) << "the user's Cancel, no error";
  EXPECT_EQ(output.find("Error>"), std::string::npos) << output;
  EXPECT_NE(errors.find("quillon: " + told), std::string::npos) << errors;
  EXPECT_EQ(entriesOf(working, "TRB").size(), 1u) << "the first bank is kept";
}

TEST_F(EndToEnd, ADriveArchiveThatIsRefusedIsNamedInTheClosingMessage) {
  const DrivesimProgram drive({"--archive-member", "TRBSAVE/x.csv", "--archive-member", "extra.pdn"});
  QStringList arguments = runAgainst(drive);
  arguments << "--db-load";
  const Finished run = runQuillon(arguments);
  ASSERT_EQ(run.exitCode, 0) << run.output;
  const std::size_t complete = run.output.find("Complete\nTraceback file location = ");
  ASSERT_NE(complete, std::string::npos) << run.output;
  EXPECT_NE(run.output.find("TRBSAVE/x.csv", complete), std::string::npos) << run.output;
  const fs::path extracted = extractedArchive("x");
  ASSERT_FALSE(extracted.empty());
  EXPECT_FALSE(fs::exists(extracted / "x.csv"));
  EXPECT_FALSE(fs::exists(base_ / "docs" / "Quillon" / "extra.pdn")) << "all or nothing";
}

TEST_F(EndToEnd, HelpVersionAndUsageErrors) {
  const Finished help = runQuillon({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.output.find("--headless"), std::string::npos);
  EXPECT_NE(help.output.find("Exit status"), std::string::npos);
  const Finished shortHelp = runQuillon({"-h"});  // no window, the same text
  EXPECT_EQ(shortHelp.exitCode, 0);
  EXPECT_EQ(shortHelp.output, help.output);
  const Finished version = runQuillon({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_TRUE(version.output.starts_with("quillon 2.1\n")) << version.output;
  EXPECT_NE(version.output.find("Velkor control module"), std::string::npos) << version.output;
  EXPECT_EQ(runQuillon({"--bogus"}).exitCode, 64);
  EXPECT_EQ(runQuillon({"--codepage", "no-such-code-page", "--headless"}).exitCode, 64);
  EXPECT_EQ(runQuillon({"--headless", "--simulate-type", "RX-Brin"}).exitCode, 64);
  // An option after the switches: refused before anything is opened or sent.
  const QString documents = QString::fromStdString((base_ / "docs").string());
  const Finished late = runQuillon({"--simulate", "--headless", "/l", "--documents", documents});
  EXPECT_EQ(late.exitCode, 64) << late.output;
  EXPECT_NE(late.output.find("--documents"), std::string::npos) << late.output;
  EXPECT_FALSE(fs::exists(base_ / "docs" / "Quillon"));
}

// "/l" with the database download: a few lines into a pipe, the folder moved instead of packed,
// and the workbook also holds every bank's first faults, read again from the drive.
TEST_F(EndToEnd, SlashLWithDatabaseDownloadIntoAPipeMovesTheFolder) {
  QStringList arguments = simulatedRun();
  arguments << "--db-load" << "/l";
  const Finished run = runQuillon(arguments);
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_LT(std::count(run.output.begin(), run.output.end(), '\n'), 50) << run.output;
  const std::size_t download = run.output.find("Receiving Drive Database >>");
  const std::size_t traceBack = run.output.find("Receiving Trace Back Data >>");
  ASSERT_NE(download, std::string::npos) << run.output;
  EXPECT_LT(download, traceBack) << run.output;
  for (const char* line : {"Receiving Drive Database Done>\n", " (1 of 1)\n", "Compress the files Skip>\n",
                           "Last Fault Only: 1 bank(s)\n"})
    EXPECT_NE(run.output.find(line), std::string::npos) << line << run.output;
  EXPECT_EQ(run.output.find("Banks "), std::string::npos) << run.output;

  const std::vector<fs::path> saved = entriesOf(base_ / "docs" / "Quillon", "TRBSAVE_");
  ASSERT_EQ(saved.size(), 1u);
  EXPECT_TRUE(fs::is_directory(saved[0]));
  const fs::path workbook = ExpectConvertedRecords(saved[0], drivesim::RecordImages("RX-Fenn"), true);
  EXPECT_EQ(db_test::queryText(workbook, "SELECT group_concat(Bank, ',') FROM OtherTRB"), "0,1,2,3,4,5,6,7");
  EXPECT_EQ(db_test::queryText(workbook, "SELECT group_concat(FI1, ',') FROM OtherTRB"),
            "OC,OV,OH,UV,EF,No Data,OC,OV");
  EXPECT_EQ(db_test::queryText(workbook, "SELECT TimeS FROM OtherTRB WHERE Bank = 2"), "2016/03/09  13:17:47");
}

// A Japanese drive in a run with its code page: the names on disk and the workbooks' texts are
// UTF-8, the configuration file is UTF-16, and the panel name split between "QA1" and "QA2"
// inside a double-byte character is whole everywhere.
TEST_F(EndToEnd, JapaneseDriveWithItsDatabase) {
  const drivesim::DriveOptions japanese = drivesim::JapaneseDrive();
  const DrivesimProgram drive({"--japanese"});
  QStringList arguments = runAgainst(drive);
  arguments << "--codepage" << "CP932" << "/l" << "/f";  // the folder kept as it is, every bank read
  const Finished run = runQuillon(arguments);
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_TRUE(isValidUtf8(run.output)) << run.output;
  const std::vector<fs::path> saved = entriesOf(base_ / "docs" / "Quillon", "TRBSAVE_");
  ASSERT_EQ(saved.size(), 1u);
  for (const auto& entry : fs::recursive_directory_iterator(saved[0]))
    EXPECT_TRUE(isValidUtf8(entry.path().filename().string())) << entry.path();

  const std::string& panel = japanese.panelName;
  const std::vector<fs::path> banks = entriesOf(saved[0], "TRB" + panel + "_");
  EXPECT_EQ(banks.size(), 3u);
  for (const fs::path& workbook : banks) {
    EXPECT_EQ(db_test::queryText(workbook, "SELECT Memo FROM Memo WHERE Title = 'PanelName'"), panel);
    EXPECT_EQ(db_test::queryText(workbook, "SELECT OrderNumber FROM Title"),
              japanese.orderNumber1 + " " + japanese.orderNumber2);
  }
  const fs::path workbook = setpointWorkbook(saved[0], panel);
  ASSERT_FALSE(workbook.empty());
  // The drive's parameters hold the name in its bytes too; the drive database's own Japanese.
  EXPECT_EQ(db_test::queryText(workbook, "SELECT CharData FROM CharSet WHERE symbol = 'INF_PANEL'"), panel);
  EXPECT_EQ(db_test::queryText(workbook, "SELECT Memo FROM Memo WHERE Title = 'PanelName'"), panel);
  EXPECT_EQ(db_test::queryText(workbook, "SELECT TitleJP FROM EventCount WHERE ID = 1"), "\u904B\u8EE2\u56DE\u6570");
  fs::path document = workbook;
  document.replace_extension(".drc");
  const std::string text = utf16LeAsUtf8(FileText(document));
  // The configuration's name: the first eight characters of the panel name, trimmed.
  EXPECT_NE(text.find("<driveConfig name=\"\u7B2C3\u30E9\u30A4\u30F3 \u5DFB\u53D6\" eeprombank=\"A\""),
            std::string::npos)
      << text;
}

// Without its database the drive's files stay CSV files: their texts are the drive's Shift-JIS
// bytes exactly, and the archive names its members in the code page (lha reads the bytes).
TEST_F(EndToEnd, JapaneseDriveWithoutItsDatabaseKeepsItsBytesInTheCsvFiles) {
  drivesim::DriveOptions options = drivesim::JapaneseDrive();
  options.driveType = "RX-Ardo";
  options.interfaceLevel = 5;
  options.softVersion = "SIM09.99";
  const drivesim::DriveProfile profile(options);
  const DrivesimProgram drive({"--japanese", "--type", "RX-Ardo", "--level", "5", "--soft-version", "SIM09.99"});
  QStringList arguments = runAgainst(drive);
  arguments << "--codepage" << "SHIFT_JIS";
  const Finished run = runQuillon(arguments);
  ASSERT_EQ(run.exitCode, 0) << run.output;
  const fs::path extracted = extractedArchive("x");
  ASSERT_FALSE(extracted.empty());

  const std::string panelBytes = profile.sentText(options.panelName);
  ASSERT_EQ(panelBytes.size(), 16u);
  for (const int bank : options.recordedBanks) {
    const fs::path folder = extracted / csvSetFolderName(profile, bank, panelBytes);
    ASSERT_TRUE(fs::is_directory(folder)) << folder;
    for (const auto& [name, text] : expectedCsvSet(profile, bank)) EXPECT_EQ(FileText(folder / name), text) << name;
  }
  const quillon_test::SavedRecordFiles saved{extracted, panelBytes, "V05.002"};
  const drivesim::RecordImages images("RX-Ardo", panelBytes);
  quillon_test::ExpectSetpointFile(saved, images, 0, 3072);
  quillon_test::ExpectRecordAndStatusFiles(saved, images);

  // Saved in SHIFT_JIS, the files hold the drive's bytes all the same; read in the drive's own
  // CP932 the save shows its texts (SHIFT_JIS would read 81 7C as "−", CP932 as "－").
  const fs::path archive = entriesOf(base_ / "docs" / "Quillon", "TRBSAVE_").at(0);
  const fs::path html = base_ / "report.html";
  const Finished report = runQuillon({"report", QString::fromStdString(archive.string()), "-o",
                                      QString::fromStdString(html.string()), "--codepage", "CP932"});
  ASSERT_EQ(report.exitCode, 0) << report.output;
  const std::string page = FileText(html);
  EXPECT_NE(page.find(options.panelName), std::string::npos);
  EXPECT_NE(page.find(options.orderNumber1), std::string::npos);
}

}  // namespace
