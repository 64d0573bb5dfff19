// The three commands of the quillon program on the saves it makes: the archive of a
// simulated run with the drive database, and the archive of a run against the drivesim
// program with a firmware that has none (CSV sets only). Everything on 127.0.0.1.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QImage>
#include <QProcess>
#include <filesystem>
#include <algorithm>
#include <regex>
#include <set>

#include "platform/archive/lzh_reader.h"
#include "tests/view/drivesim_process.h"
#include "tests/view/view_fixture.h"
#include "tests/window/program_process.h"

namespace {

namespace fs = std::filesystem;
using view_test::Count;
using view_test::Drivesim;
using view_test::CrlfLines;
using view_test::ReadText;
using quillon_test::Finished;
using quillon_test::QuillonProgram;
using quillon_test::RunProgram;

constexpr int kProgramTimeoutMs = 180000;

Finished Quillon(const QStringList& arguments) { return RunProgram(QuillonProgram(), arguments, kProgramTimeoutMs); }

QString q(const fs::path& path) { return QString::fromStdString(path.string()); }

fs::path OnlyArchiveIn(const fs::path& documents) {
  fs::path archive;
  for (const auto& entry : fs::directory_iterator(documents / "Quillon"))
    if (entry.path().extension() == ".lzh") archive = entry.path();
  return archive;
}

// The two saves, each made once for the whole suite.
class ViewCommands : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    scratch_ = new view_test::Scratch;
    fs::create_directories(scratch_->path() / "out");  // outputs go into a folder that exists
    const fs::path withDatabase = scratch_->path() / "db";
    const Finished simulated = Quillon({"--simulate", "--headless", "--port", "0", "--documents", q(withDatabase)});
    if (simulated.exitCode == 0) workbookSave_ = OnlyArchiveIn(withDatabase);
    else failure_ += "simulated run: " + simulated.output;

    Drivesim drive({"--soft-version", "SIM09.99"});
    const fs::path csvOnly = scratch_->path() / "csv";
    const Finished run = Quillon({"--headless", "--drive", "127.0.0.1", "--drive-port", QString::number(drive.port()),
                                  "--port", "0", "--documents", q(csvOnly)});
    if (drive.port() != 0 && run.exitCode == 0) csvSave_ = OnlyArchiveIn(csvOnly);
    else failure_ += "drivesim run: " + run.output;
  }
  static void TearDownTestSuite() {
    delete scratch_;
    scratch_ = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(failure_.empty()) << failure_; }

  static fs::path out(const std::string& name) { return scratch_->path() / "out" / name; }

  static inline view_test::Scratch* scratch_ = nullptr;
  static inline fs::path workbookSave_, csvSave_;
  static inline std::string failure_;
};

// A picture that shows something: many colours and not mostly one.
void ExpectDrawn(const fs::path& png, QSize size) {
  QImage image(q(png));
  ASSERT_FALSE(image.isNull()) << png;
  EXPECT_EQ(image.size(), size);
  std::set<QRgb> colours;
  std::size_t white = 0, pixels = 0;
  for (int y = 0; y < image.height(); y += 3)
    for (int x = 0; x < image.width(); x += 3, ++pixels) {
      const QRgb pixel = image.pixel(x, y);
      colours.insert(pixel);
      if (qRed(pixel) > 245 && qGreen(pixel) > 245 && qBlue(pixel) > 245) ++white;
    }
  EXPECT_GT(colours.size(), 20u);
  EXPECT_LT(white, pixels * 98 / 100);
}

// `quillon report`, `export --csv` and `view --snapshot` of `save` into out(tag...); the report.
std::string ReportExportAndSnapshot(const fs::path& save, const fs::path& out) {
  const std::string tag = out.string();
  for (const QStringList& command : {QStringList{"report", q(save), "-o", q(tag + ".html")},
                                     QStringList{"export", q(save), "--csv", q(tag + "-csv")},
                                     QStringList{"view", q(save), "--snapshot", q(tag + ".png")}}) {
    const Finished run = Quillon(command);
    EXPECT_EQ(run.exitCode, 0) << command.join(' ').toStdString() << ": " << run.output;
  }
  ExpectDrawn(tag + ".png", QSize(1400, 900));
  return ReadText(tag + ".html");
}

TEST_F(ViewCommands, ReportExportAndSnapshotOfTheSimulatedArchive) {
  const std::string html = ReportExportAndSnapshot(workbookSave_, out("db"));
  EXPECT_EQ(Count(html, "<section class=\"bank\">"), 3u) << "banks 0, 2 and 5";
  EXPECT_EQ(Count(html, "<svg"), 33u) << "ten signals each, and a plot of each bank in the summary";
  EXPECT_NE(html.find("<td>#3</td>"), std::string::npos) << "workbooks without bank number are named by their place";
  for (const char* text : {"SPD_REF", "Speed reference", "Overcurrent", "Trouble records", "Event counters",
                           "Drive status", "Setting parameters", "RX-Fenn", "V06.002"})
    EXPECT_NE(html.find(text), std::string::npos) << text;
  EXPECT_EQ(html.find("<script"), std::string::npos);

  // The records decoded with the drive database: fault names, newest first, units, no @NULL.
  const std::string trouble = html.substr(html.find("<h3>Trouble records"), html.find("<h3>Event counters") - html.find("<h3>Trouble records"));
  const std::regex row("<tr><td>\\d+</td><td>([0-9/: ]+)</td><td>([^<]*)</td>");
  std::vector<std::string> times;
  for (auto it = std::sregex_iterator(trouble.begin(), trouble.end(), row); it != std::sregex_iterator(); ++it) {
    times.push_back((*it)[1]);
    EXPECT_TRUE(std::regex_match((*it)[2].str(), std::regex("\\S+ \\(FI \\d+\\)"))) << "named: " << (*it)[2];
  }
  EXPECT_GT(times.size(), 10u);
  EXPECT_TRUE(std::is_sorted(times.rbegin(), times.rend())) << "newest first";
  EXPECT_NE(html.find("<td>SPD_LIMIT</td><td>Speed limit</td><td>110.0</td><td>%</td>"), std::string::npos);
  EXPECT_NE(html.find("<td>ACC_TIME1</td><td>Acceleration time 1</td><td>0x00000000; 100</td><td></td>"), std::string::npos)
      << "the symbol that stands twice is shown once, the hexadecimal form as such";
  EXPECT_EQ(html.find("@NULL"), std::string::npos);
  EXPECT_EQ(html.find("(D)"), std::string::npos);

  std::size_t files = 0;
  for (const auto& entry : fs::directory_iterator(out("db-csv"))) {
    ++files;
    const auto lines = CrlfLines(ReadText(entry.path()));
    ASSERT_EQ(lines.size(), 257u) << entry.path();  // header + 4 x 64 samples
    EXPECT_EQ(lines[0], "sample,G1 samples from fault,G2 samples from fault,G3 samples from fault,SPD_REF [%],SPD_FBK [%],TRQ_REF [%],I_OUT [%],V_DC [%],V_DC_AVG [%],FREQ_OUT [%],SSEQ_OUT1,TEMP_HS [%],TEMP_CPU [%],fault");
    std::size_t marked = 0;
    for (const auto& line : lines) marked += line.back() != ',' && line.rfind("sample", 0) != 0;
    EXPECT_EQ(marked, 3u) << "the fault samples of groups 1, 2 and 3 lie on three rows";
  }
  EXPECT_EQ(files, 3u);
}

TEST_F(ViewCommands, ReportExportAndSnapshotOfACsvOnlySave) {
  const std::string html = ReportExportAndSnapshot(csvSave_, out("csv"));
  EXPECT_EQ(Count(html, "<svg"), 33u);
  EXPECT_NE(html.find("Bank 5"), std::string::npos);
  EXPECT_NE(html.find("no drive database"), std::string::npos);
  EXPECT_NE(html.find("words of value 0 not listed"), std::string::npos);
  EXPECT_NE(html.find("names need the drive database"), std::string::npos) << "the records stay as read";

  // Each exported bank against its CSV set as the archive holds it, through the program's own
  // extraction: every sample as the drive sent it, while all groups are that deep (64 samples).
  const fs::path extracted = out("csv-extracted");
  fs::create_directories(extracted);
  ASSERT_EQ(platform::archive::ExtractArchiveFile(csvSave_, extracted), "");
  int banks = 0;
  for (const auto& file : fs::recursive_directory_iterator(extracted)) {
    const std::string name = file.path().filename().string(), folder = file.path().parent_path().string();
    if (!name.ends_with("_Data.csv")) continue;
    ++banks;
    const std::string exportName = "bank" + name.substr(3, name.size() - 12) + "_" + folder.substr(folder.size() - 15);
    const auto exportedLines = CrlfLines(ReadText(out("csv-csv") / (exportName + ".csv")));
    const auto savedLines = CrlfLines(ReadText(file.path()));
    ASSERT_EQ(exportedLines.size(), savedLines.size() + 1) << name;
    EXPECT_EQ(exportedLines[0].rfind("sample,G1 samples from fault,G2 samples from fault,G3 samples from fault,&H00010000,&H00010004,", 0), 0u)
        << "addresses, no database";
    // The sample index, then (past the three groups' distances from the fault) the samples.
    const auto samplesOf = [](const std::string& line) {
      std::size_t afterGroups = line.find(',');
      for (int field = 0; field < 3; ++field) afterGroups = line.find(',', afterGroups + 1);
      return line.substr(0, line.find(',')) + line.substr(afterGroups, line.rfind(',') - afterGroups);
    };
    for (std::size_t r = 1; r <= 64; ++r) ASSERT_EQ(samplesOf(exportedLines[r]), savedLines[r - 1]) << name << " " << r;
  }
  EXPECT_EQ(banks, 3);
}

TEST_F(ViewCommands, DamagedSavesAndWrongCommandLines) {
  const fs::path cut = out("TRBSAVE_cut.lzh");
  fs::create_directories(cut.parent_path());
  fs::copy_file(workbookSave_, cut);
  fs::resize_file(cut, fs::file_size(cut) * 2 / 3);
  for (const char* command : {"view", "report", "export"}) {
    QStringList arguments = {command, q(cut)};
    if (std::string(command) == "export") arguments << "--csv" << q(out("never"));
    const Finished run = Quillon(arguments);
    EXPECT_EQ(run.exitCode, 1) << command;
    EXPECT_NE(run.output.find("TRBSAVE_cut.lzh: the archive cannot be extracted"), std::string::npos) << run.output;
  }
  EXPECT_FALSE(fs::exists(out("never")));

  // An output in a folder that does not exist is an error with the system's reason, not a new folder.
  for (const QStringList& command : {QStringList{"report", q(workbookSave_), "-o", q(out("missing") / "r.html")},
                                     QStringList{"export", q(workbookSave_), "--csv", q(out("missing") / "csv")}}) {
    const Finished run = Quillon(command);
    EXPECT_EQ(run.exitCode, 1) << command.join(' ').toStdString();
    EXPECT_NE(run.output.find("No such file or directory"), std::string::npos) << run.output;
  }
  EXPECT_FALSE(fs::exists(out("missing")));

  for (const QStringList& wrong : {QStringList{"view"}, QStringList{"export", q(workbookSave_)},
                                   QStringList{"report", q(workbookSave_), "--bogus"},
                                   QStringList{"view", q(workbookSave_), q(csvSave_)}}) {
    const Finished run = Quillon(wrong);
    EXPECT_EQ(run.exitCode, 64) << wrong.join(' ').toStdString();
    EXPECT_NE(run.output.find("quillon --help"), std::string::npos);
  }
  // Without a display the window cannot open: the command says so instead of ending abruptly.
  QProcessEnvironment headless = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) headless.remove(name);
  const Finished noDisplay =
      RunProgram(QuillonProgram(), {"view", q(workbookSave_)}, kProgramTimeoutMs, headless);
  EXPECT_EQ(noDisplay.exitCode, 1);
  EXPECT_NE(noDisplay.output.find("no display"), std::string::npos) << noDisplay.output;

  const Finished help = Quillon({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  for (const char* line : {"quillon view PATH", "quillon report PATH", "quillon export PATH --csv DIR"})
    EXPECT_NE(help.output.find(line), std::string::npos) << line;
}

// The report as a real browser draws and prints it: the simulated save fits 12 A4 pages
// with its settings closed. Required where CI=true, skipped elsewhere without a browser.
TEST_F(ViewCommands, ChromiumDrawsAndPrintsTheReport) {
  const fs::path chromium = "/usr/bin/chromium", pdfinfo = "/usr/bin/pdfinfo";
  const bool required = qgetenv("CI") == "true";
  for (const fs::path& tool : {chromium, pdfinfo})
    if (!fs::exists(tool)) {
      if (required) FAIL() << tool << " is missing (Debian packages chromium, poppler-utils)";
      GTEST_SKIP() << "no headless browser to print with: " << tool << " is missing (Debian packages chromium, poppler-utils)";
    }
  const Finished report = Quillon({"report", q(workbookSave_), "-o", q(out("browser.html"))});
  ASSERT_EQ(report.exitCode, 0) << report.output;
  const fs::path png = out("browser.png"), pdf = out("browser.pdf");
  const auto browse = [&](const QString& output, const QStringList& more) {
    QStringList arguments = {"--headless", "--disable-gpu", "--no-first-run", "--disable-background-networking",
                             "--disable-component-update", "--disable-sync",
                             "--user-data-dir=" + q(scratch_->path() / "chromium-profile"), output};
    if (::geteuid() == 0) arguments.prepend("--no-sandbox");
    return RunProgram(q(chromium), arguments + more + QStringList{"file://" + q(out("browser.html"))}, kProgramTimeoutMs);
  };
  const Finished drawn = browse("--screenshot=" + q(png), {"--window-size=1000,1400"});
  ASSERT_TRUE(fs::exists(png)) << drawn.output;
  ExpectDrawn(png, QSize(1000, 1400));

  const Finished printed = browse("--print-to-pdf=" + q(pdf), {"--no-pdf-header-footer"});
  ASSERT_TRUE(fs::exists(pdf)) << printed.output;
  const Finished info = RunProgram(q(pdfinfo), {q(pdf)}, kProgramTimeoutMs);
  const auto pages = QString::fromStdString(info.output).section("Pages:", 1).section('\n', 0, 0).trimmed().toInt();
  EXPECT_GE(pages, 2) << info.output;
  EXPECT_LE(pages, 12) << info.output;
}

}  // namespace
