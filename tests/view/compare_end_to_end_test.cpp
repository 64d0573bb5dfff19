// quillon diff, list and report --compare on saves of the drivesim program that differ in
// known ways: the firmware, two setting parameters (one set to 0), one bank and two counters;
// once with the drive database (workbooks) and once without (CSV files). Everything on 127.0.0.1.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <filesystem>

#include "drivesim/record_images.h"
#include "platform/archive/lzh_reader.h"
#include "tests/view/drivesim_process.h"
#include "tests/view/view_fixture.h"
#include "tests/window/program_process.h"

namespace {

namespace fs = std::filesystem;
using quillon_test::Finished;

constexpr int kTimeoutMs = 180000;
const QStringList kNewerDrive = {"--banks",       "0,2,5,6",       "--setting",     "0x24059002=120",
                                 "--setting",     "0x2405900A=0",  "--event-count", "3=5200",
                                 "--event-count", "7=99000"};

QString q(const fs::path& path) { return QString::fromStdString(path.string()); }

Finished Quillon(const QStringList& arguments) {
  return quillon_test::RunProgram(quillon_test::QuillonProgram(), arguments, kTimeoutMs);
}

struct Pair {
  fs::path older, newer;
};

class CompareCommands : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    scratch_ = new view_test::Scratch;
    // The newer firmware's drive database: the simulated one under that version's name.
    fs::create_directories(documents() / "Quillon");
    fs::copy_file(fs::path(QUILLON_BINARY_DIR) / "templates" / "SIM01.00.mdb", documents() / "Quillon" / "SIM01.01.mdb");
    withDatabase_ = {save(documents(), {}), save(documents(), kNewerDrive + QStringList{"--soft-version", "SIM01.01"})};
    csvOnly_ = {save(scratch_->path() / "csv", {"--soft-version", "SIM09.98"}),
                save(scratch_->path() / "csv", kNewerDrive + QStringList{"--soft-version", "SIM09.99"})};
    otherDrive_ = save(scratch_->path() / "other", {"--panel-name", "Line 9", "--soft-version", "SIM09.98"});
  }
  static void TearDownTestSuite() {
    delete scratch_;
    scratch_ = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(failure_.empty()) << failure_; }

  static fs::path documents() { return scratch_->path() / "docs"; }

  // The archive of one save run against a drive of these options.
  static fs::path save(const fs::path& documents, const QStringList& driveOptions) {
    view_test::Drivesim drive(driveOptions);
    const Finished run = Quillon({"--headless", "--drive", "127.0.0.1", "--drive-port", QString::number(drive.port()),
                                  "--port", "0", "--documents", q(documents)});
    const auto at = run.output.find("Traceback file location = ");
    if (drive.port() == 0 || run.exitCode != 0 || at == std::string::npos) {
      failure_ += "save run: " + run.output;
      return {};
    }
    const std::string rest = run.output.substr(at + 26);
    return rest.substr(0, rest.find('\n'));
  }

  static fs::path extracted(const fs::path& archive) {
    const fs::path folder = scratch_->path() / "extracted" / archive.parent_path().parent_path().filename() / archive.stem();
    if (!fs::exists(folder) && platform::archive::ExtractArchiveFile(archive, folder) != "") return {};
    return folder;
  }

  static fs::path settingWorkbookIn(const fs::path& folder) {
    for (const auto& entry : fs::directory_iterator(folder))
      if (entry.path().filename().string().starts_with("Set_Sram_") && entry.path().extension() == ".mdb") return entry.path();
    return {};
  }

  static inline view_test::Scratch* scratch_ = nullptr;
  static inline Pair withDatabase_, csvOnly_;
  static inline fs::path otherDrive_;
  static inline std::string failure_;
};

QJsonObject JsonOf(const Finished& run) {
  QJsonParseError error{};
  const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(run.output), &error);
  EXPECT_EQ(error.error, QJsonParseError::NoError) << run.output;
  return document.object();
}

// key=old>new for each entry of a section ("-" for null), then name and change where given.
std::string Lines(const QJsonObject& diff, const char* section) {
  std::string text;
  for (const QJsonValue& value : diff[section].toArray()) {
    const QJsonObject e = value.toObject();
    auto part = [&e](const char* key) { return e[key].isNull() ? std::string("-") : e[key].toString().toStdString(); };
    text += part("key") + "=" + part("old") + ">" + part("new");
    for (const char* extra : {"name", "change"})
      if (e.contains(extra)) text += " " + part(extra);
    text += "; ";
  }
  return text;
}

std::string Change(int from, int to) { return (to > from ? "+" : "") + std::to_string(to - from); }

TEST_F(CompareCommands, DiffOfArchivesFoldersAndWorkbooksWithAndWithoutTheDriveDatabase) {
  const drivesim::RecordImages drive("RX-Fenn");
  const int count3 = drive.eventCount(3), count7 = drive.eventCount(7);
  auto counters = [&](const std::string& name3, const std::string& name7) {
    return "3=" + std::to_string(count3) + ">5200" + name3 + " " + Change(count3, 5200) + "; 7=" + std::to_string(count7) +
           ">99000" + name7 + " " + Change(count7, 99000) + "; ";
  };
  struct Form {
    const char* name;
    fs::path older, newer;
    bool named, banks;  // with the drive database; banks saved
  };
  const Pair &db = withDatabase_, &csv = csvOnly_;
  const Form forms[] = {
      {"archives", db.older, db.newer, true, true},
      {"folders", extracted(db.older), extracted(db.newer), true, true},
      {"workbooks", settingWorkbookIn(extracted(db.older)), settingWorkbookIn(extracted(db.newer)), true, false},
      {"CSV archives", csv.older, csv.newer, false, true},
      {"CSV folders", extracted(csv.older), extracted(csv.newer), false, true},
  };
  for (const Form& form : forms) {
    SCOPED_TRACE(form.name);
    const Finished run = Quillon({"diff", q(form.older), q(form.newer), "--json", "--documents", q(documents())});
    ASSERT_EQ(run.exitCode, 1) << run.output;
    const QJsonObject diff = JsonOf(run);
    EXPECT_EQ(Lines(diff, "identity"),
              form.named ? "Firmware version=SIM01.00>SIM01.01; " : "Firmware version=SIM09.98>SIM09.99; ");
    // Without a database, the image's lines: their address labels stand beside the pair's other word.
    const std::string settings =
        form.named ? "ACC_TIME1=100>120 Acceleration time 1; MOTOR_POLES=4>0 (not listed) Motor poles; "
                     "INF_SOFTVER=SIM01.00>SIM01.01 Firmware version; "
                   : "0x24059000=100>120; 0x24059008=4>0; ";
    EXPECT_EQ(Lines(diff, "settings").substr(0, settings.size()), settings);
    EXPECT_EQ(diff["settings"].toArray().size(), 3) << "the firmware text too";
    const QJsonArray banks = diff["banks"].toArray();
    ASSERT_EQ(banks.size(), form.banks ? 1 : 0);
    for (const QJsonValue& bank : banks)
      EXPECT_TRUE(bank.toObject()["old"].isNull() && bank.toObject()["new"].isString()) << "bank 6 is new";
    EXPECT_EQ(Lines(diff, "eventCounts"), form.named ? counters(" Fault count", " Event 7") : counters("", ""));
    EXPECT_EQ(Lines(diff, "troubleRecords") + Lines(diff, "eventLog"), "") << "the drive's records did not change";

    const Finished itself = Quillon({"diff", q(form.newer), q(form.newer)});
    EXPECT_EQ(itself.exitCode, 0) << itself.output;
    EXPECT_NE(itself.output.find("No differences"), std::string::npos) << itself.output;
    EXPECT_EQ(itself.output.find("->"), std::string::npos) << itself.output;
  }

  const fs::path cut = scratch_->path() / "TRBSAVE_20260101_000000.lzh";
  fs::copy_file(db.older, cut);
  fs::resize_file(cut, fs::file_size(cut) / 2);
  const Finished damaged = Quillon({"diff", q(cut), q(db.newer), "--html", q(scratch_->path() / "never.html")});
  EXPECT_EQ(damaged.exitCode, 2);
  EXPECT_NE(damaged.output.find("TRBSAVE_20260101_000000.lzh: the archive cannot be extracted"), std::string::npos)
      << damaged.output;
  EXPECT_FALSE(fs::exists(scratch_->path() / "never.html"));

  const fs::path html = scratch_->path() / "report.html";
  const Finished report = Quillon({"report", q(db.newer), "--compare", q(db.older), "-o", q(html)});
  ASSERT_EQ(report.exitCode, 0) << report.output;
  const std::string page = view_test::ReadText(html);
  EXPECT_NE(page.find("<h2>Differences</h2>"), std::string::npos);
  EXPECT_NE(page.find("0 (not listed)"), std::string::npos);
  EXPECT_LT(page.find("<h2>Differences</h2>"), page.find("</body>"));
}

// Saves of two drives, in the layout of one drive and in one folder per drive, with a damaged
// save and one kept aside.
TEST_F(CompareCommands, ListAndPreviousReadBothLayouts) {
  const fs::path program = scratch_->path() / "plant" / "Quillon";
  const fs::path drive = program / "Line 3 _ Winder #2";
  fs::create_directories(drive);
  fs::create_directories(program / "Line 9");
  const std::pair<fs::path, fs::path> copies[] = {
      {withDatabase_.older, program / "TRBSAVE_20260101_080000.lzh"},
      {csvOnly_.older, drive / "TRBSAVE_20260101_100000.lzh"},
      {otherDrive_, program / "Line 9" / "TRBSAVE_20260101_120000.lzh"},
      {withDatabase_.newer, drive / "TRBSAVE_20260102_080000.lzh"},
  };
  for (const auto& [from, to] : copies) fs::copy_file(from, to);
  fs::resize_file(drive / "TRBSAVE_20260101_100000.lzh", 900);
  fs::copy(extracted(csvOnly_.newer), drive / "TRBSAVE_20260103_080000_incomplete", fs::copy_options::recursive);

  const Finished list = Quillon({"list", "--json", "--documents", q(program.parent_path())});
  ASSERT_EQ(list.exitCode, 0) << list.output;
  const QJsonArray saves = QJsonDocument::fromJson(QByteArray::fromStdString(list.output)).array();
  std::string rows;  // saved, panel name, banks, complete, damaged
  for (const QJsonValue& value : saves) {
    const QJsonObject s = value.toObject();
    rows += s["saved"].toString().toStdString() + " " + s["panelName"].toString().toStdString() + " " +
            std::to_string(s["banks"].toArray().size()) + (s["complete"].toBool() ? " complete" : " incomplete") +
            (s["damaged"].isNull() ? "" : " damaged") + "; ";
  }
  EXPECT_EQ(rows,
            "2026-01-03 08:00:00 Line 3 / Winder #2 4 incomplete; 2026-01-02 08:00:00 Line 3 / Winder #2 4 complete; "
            "2026-01-01 12:00:00 Line 9 3 complete; 2026-01-01 10:00:00  0 incomplete damaged; "
            "2026-01-01 08:00:00 Line 3 / Winder #2 3 complete; ")
      << list.output;
  const Finished table = Quillon({"list", q(program)});
  EXPECT_NE(table.output.find("Damaged saves:"), std::string::npos) << table.output;

  // Passed over: the damaged save, and Line 9's of another drive.
  const Finished previous =
      Quillon({"diff", "--previous", q(drive / "TRBSAVE_20260102_080000.lzh"), "--json", "--documents", q(program.parent_path())});
  EXPECT_EQ(previous.exitCode, 1) << previous.output;
  EXPECT_EQ(JsonOf(previous)["oldSave"].toString().toStdString(), (program / "TRBSAVE_20260101_080000.lzh").string());
  const Finished first = Quillon({"diff", "--previous", q(program / "TRBSAVE_20260101_080000.lzh"), "--documents",
                                  q(program.parent_path())});
  EXPECT_EQ(first.exitCode, 2);
  EXPECT_NE(first.output.find("no earlier save of RX-Fenn \"Line 3 / Winder #2\""), std::string::npos) << first.output;

  for (const QStringList& wrong : {QStringList{"diff", "a"}, QStringList{"diff", "--previous"},
                                   QStringList{"diff", "a", "b", "--json=yes"}, QStringList{"list", "a", "b"}}) {
    const Finished run = Quillon(wrong);
    EXPECT_EQ(run.exitCode, 64) << wrong.join(' ').toStdString() << ": " << run.output;
  }
  const Finished help = Quillon({"--help"});
  for (const char* line : {"quillon diff OLD NEW", "quillon list [FOLDER]"})
    EXPECT_NE(help.output.find(line), std::string::npos) << line;
}

}  // namespace
