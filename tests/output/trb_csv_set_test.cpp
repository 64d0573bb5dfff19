#include "quillon/output/trb_csv_set.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <iterator>

#include "platform/shell/folders.h"
#include "quillon/output/records_file_writer.h"

using namespace quillon;
namespace fs = std::filesystem;

namespace {

std::string FileText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A scratch folder that writes bank 2 of the tables into its TRBSAVE folder.
class Folder {
 public:
  Folder() {
    std::string name = (fs::temp_directory_path() / "quillon-trb-XXXXXX").string();
    if (!::mkdtemp(name.data())) ADD_FAILURE() << "no scratch folder";
    root_ = name;
  }
  ~Folder() {
    platform::shell::SetAttributesNormal(root_);
    fs::remove_all(root_);
  }
  std::string write(const std::string& panel, const DriveIdentity& id, const TraceBackTables& t) const {
    return WriteTrbCsvSet(root_ / "TRBSAVE", TraceBank{2, id, t, panel}, platform::shell::CodePage());
  }
  // The folder of the set written for the recording time 2014-03-12 08:15:02.
  fs::path set(const std::string& panel) const { return root_ / "TRBSAVE" / ("TRB_" + panel + "_20140312_081502"); }
  const fs::path& root() const { return root_; }

 private:
  fs::path root_;
};

DriveIdentity sampleIdentity() {
  DriveIdentity id;
  id.InterfaceLevel = 6;
  id.DriveType = "RX-Brin ", id.PanelName = "LINE1 ", id.OrderNumber1 = "ABC123", id.OrderNumber2 = "D45";
  id.InverterVoltage = "400", id.InverterCurrent = "52.0", id.InverterCapacity = "36.0";
  id.MotorOutput = "18.5", id.MotorPoles = "4", id.MotorVoltage = "380", id.MotorCurrent = "35.5";
  id.MotorFrequency = "50.0", id.MotorSpeed = "1470";
  return id;
}

// Bank 2: three signals in groups 1 and 2, depth 1 x 64, recorded 2014-03-12 08:15:02.
TraceBackTables sampleTables(int level) {
  TraceBackTables t;
  t.GroupDepth = {1, 1, 0, 0, 0, 0};
  t.GroupSignals = {0, 2, 1, 0, 0, 0};
  t.MaxGroupDepth = 1;
  t.SignalsPerBank = 3;
  t.GroupSampling = {0, 100, 200, 300, 400, 500};
  t.GroupFaultIndex = {0, 32, -1, 5, 6, 7};
  t.resizeBankTime();
  t.BankTime[2] = {"", "2014", "03", "12", "08", "15", "02"};
  t.resizeBankTables(level);
  for (int s = 1; s <= 3; ++s)
    for (int i = 1; i <= 64; ++i) {
      t.SampleData32.set(s, i, s == 2 ? -4 * i : s * 12 * i);
      t.SampleData16.set(s, i, static_cast<std::int16_t>(s == 2 ? -4 * i : s * 12 * i));
    }
  t.SampleData32.set(3, 1, 300);
  t.SampleData16.set(3, 1, 300);
  t.BankFaults[2][1][1] = 23;
  t.BankFaults[2][1][2] = 512;
  t.BankFaults[2][30][1] = -32767;
  t.BankFaults[2][30][2] = 0;
  t.BankSoftVersion[2] = "V1.20   ";
  t.SignalAddress[2][1] = "&H1A2C";
  t.SignalAddress[2][2] = "&H00000010";
  return t;
}

}  // namespace

TEST(TrbCsvSet, TheSixFilesByteForByte) {
  Folder folder;
  ASSERT_EQ(folder.write("LINE1  ", sampleIdentity(), sampleTables(6)), "");
  const fs::path f = folder.set("LINE1");
  ASSERT_TRUE(fs::is_directory(f));
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(f)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Trb2_Data.csv", "Trb2_FI.csv", "Trb2_Memo.csv",
                                              "Trb2_SampleParameters.csv", "Trb2_Title.csv", "Trb2_Word.csv"}));

  const std::string data = FileText(f / "Trb2_Data.csv");
  EXPECT_EQ(data.substr(0, 28), "1,12,-4,300\r\n2,24,-8,72\r\n3,3");
  EXPECT_TRUE(data.ends_with("\r\n64,768,-256,2304\r\n"));
  EXPECT_EQ(std::count(data.begin(), data.end(), '\n'), 64);

  std::string fi;
  for (int e = 1; e <= 30; ++e)
    fi += e == 1 ? "1, , ,23,512\r\n" : e == 30 ? "30, , ,-32767,0\r\n" : std::to_string(e) + ", , ,,\r\n";
  EXPECT_EQ(FileText(f / "Trb2_FI.csv"), fi);

  EXPECT_EQ(FileText(f / "Trb2_Memo.csv"),
            "1,DriveType,RX-Brin \r\n2,SoftVer,V1.20   \r\n3,PanelName,LINE1 \r\n4,Custmer,??\r\n"
            "5,Templete#, 0\r\n6,FileFor,TraceBack\r\n");
  // Third field: signals of groups 1 to k together; groups 4 and 5 are not written.
  EXPECT_EQ(FileText(f / "Trb2_SampleParameters.csv"), "1,64,2,32,100\r\n2,64,3,-1,200\r\n3,0,3,5,300\r\n");
  EXPECT_EQ(FileText(f / "Trb2_Title.csv"),
            "1,ABC123 D45,2014/03/12  08:15:02,3,400V - 52.0A - 36.0KVA,18.5kW - 4P - 380V - 35.5A - "
            "50.0Hz - 1470min-1, , \r\n");
  EXPECT_EQ(FileText(f / "Trb2_Word.csv"),
            "1, ,&H1A2C, , , , , \r\n2, ,&H00000010, , , , , \r\n3, ,, , , , , \r\n");
}

TEST(TrbCsvSet, SixteenBitSamplesBelowTheWideLevelAndAnsiText) {
  Folder folder;
  DriveIdentity id = sampleIdentity();
  id.InterfaceLevel = 5;
  id.PanelName = "Ligne é";
  TraceBackTables t = sampleTables(5);
  t.SampleData16.set(1, 1, -32768);
  ASSERT_EQ(folder.write("Ligne é", id, t), "");
  EXPECT_EQ(FileText(folder.set("Ligne é") / "Trb2_Data.csv").substr(0, 16), "1,-32768,-4,300\r");
  const std::string memo = FileText(folder.set("Ligne é") / "Trb2_Memo.csv");
  EXPECT_NE(memo.find("3,PanelName,Ligne \xE9\r\n"), std::string::npos);  // windows-1252, one byte
}

TEST(TrbCsvSet, DeepSignalsKeepEveryValueInItsLineAndColumn) {
  // 3 x 192 samples, one value per (signal, sample) that tells both apart; the lines are made a
  // block at a time, so the values at the block edges and in the last line matter most.
  Folder folder;
  TraceBackTables t = sampleTables(6);
  t.GroupDepth = {3, 2, 0, 0, 0, 0};
  t.MaxGroupDepth = 3;
  t.resizeBankTables(6);
  auto value = [](int s, int i) { return (s % 2 ? -1 : 1) * (s * 100000 + i); };
  std::string expected;
  for (int i = 1; i <= 192; ++i) {
    expected += std::to_string(i);
    for (int s = 1; s <= 3; ++s) {
      t.SampleData32.set(s, i, value(s, i));
      expected += "," + std::to_string(value(s, i));
    }
    expected += "\r\n";
  }
  ASSERT_EQ(folder.write("P", sampleIdentity(), t), "");
  EXPECT_EQ(FileText(folder.set("P") / "Trb2_Data.csv"), expected);
}

TEST(TrbCsvSet, EmptyLayoutsEmptyPanelNameAndRewritingReadOnlyFiles) {
  Folder folder;
  TraceBackTables t = sampleTables(6);
  t.GroupSignals = {};
  t.SignalsPerBank = 0;
  t.resizeBankTables(6);
  ASSERT_EQ(folder.write("", sampleIdentity(), t), "");
  const fs::path f = folder.set("");
  std::string rows;
  for (int i = 1; i <= 64; ++i) rows += std::to_string(i) + "\r\n";
  EXPECT_EQ(FileText(f / "Trb2_Data.csv"), rows);
  EXPECT_EQ(FileText(f / "Trb2_Word.csv"), "");

  // Written again over read-only files: they are replaced.
  ASSERT_EQ(platform::shell::SetReadOnly(f / "Trb2_Data.csv", true), "");
  t.GroupDepth = {};
  t.MaxGroupDepth = 0;
  t.SignalsPerBank = 1;
  t.resizeBankTables(6);
  t.SignalAddress[2][1] = "&H0001";
  ASSERT_EQ(folder.write("", sampleIdentity(), t), "");
  EXPECT_TRUE(fs::exists(f / "Trb2_Data.csv"));
  EXPECT_EQ(FileText(f / "Trb2_Data.csv"), "");
  EXPECT_EQ(FileText(f / "Trb2_Word.csv"), "1, ,&H0001, , , , , \r\n");
}

TEST(TrbCsvSet, NamesThatWouldLeaveTheWorkingFolderAreRefused) {
  Folder folder;
  const DriveIdentity id = sampleIdentity();
  TraceBackTables t = sampleTables(6);
  for (const std::string& panel : std::vector<std::string>{"../../x", "a\\b", std::string("a\0b", 3)})
    EXPECT_NE(folder.write(panel, id, t), "") << panel;
  // A drive time field cannot smuggle a separator in either.
  t.BankTime[2][6] = "/../..";
  EXPECT_NE(folder.write("P", id, t), "");
  std::vector<std::string> left;
  for (const auto& entry : fs::recursive_directory_iterator(folder.root()))
    if (entry.path().filename() != "TRBSAVE") left.push_back(entry.path().string());
  EXPECT_EQ(left, std::vector<std::string>{}) << "nothing was written anywhere";
  EXPECT_FALSE(isPlainName(".."));
  EXPECT_TRUE(isPlainName("TRB_.._20140312_081502"));
}
