#include "tests/view/view_fixture.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <iterator>

#include "platform/archive/unlha.h"
#include "platform/shell/folders.h"
#include "quillon/database/trace_workbook.h"
#include "quillon/output/trb_csv_set.h"

namespace view_test {

namespace fs = std::filesystem;

namespace {

const fs::path kTemplates = fs::path(QUILLON_BINARY_DIR) / "templates";
const char* const kAddresses[] = {"", "&H00010000", "&H00010004", kUnknownAddress, "&H00010010"};
const std::array<std::string, 7> kTime = {"", "2014", "03", "12", "08", "15", "02"};

}  // namespace

std::int32_t SampleOf(int signal, int sample) {
  if (signal == 1 && sample == kPeakSample) return kPeak;
  if (signal == 2) return -3 * sample;
  return signal * 1000 + sample;
}

Scratch::Scratch() {
  std::string name = (fs::temp_directory_path() / "quillon-view-test-XXXXXX").string();
  if (!::mkdtemp(name.data())) ADD_FAILURE() << "no scratch folder";
  path_ = name;
}

Scratch::~Scratch() { platform::shell::DeleteFolder(path_, true); }

namespace {

// One recorded bank as the requests leave it in the run's tables.
struct ReadBank {
  quillon::DriveIdentity identity;
  quillon::TraceBackTables tables;
  std::string safePanelName = kPanelName;

  explicit ReadBank(const std::string& softVersion) {
    identity.InterfaceLevel = 6;
    identity.DriveType = "RX-Fenn";
    identity.PanelName = kPanelName;
    identity.OrderNumber1 = "ORD,1";
    identity.OrderNumber2 = "SN9";
    identity.InverterVoltage = "400.0", identity.InverterCurrent = "52.0", identity.InverterCapacity = "36.0";
    identity.MotorOutput = "18.5", identity.MotorPoles = "4", identity.MotorVoltage = "380";
    identity.MotorCurrent = "35.5", identity.MotorFrequency = "50.0", identity.MotorSpeed = "1470";
    tables.resizeBankTime();
    tables.BankTime[kBank] = kTime;
    tables.GroupDepth = {2, 1, 1, 0, 0};
    tables.GroupSignals = {0, 2, 1, 0, 1, 0};
    tables.GroupSampling = {0, 1001, 2002, 3003, 0, 0};
    tables.GroupFaultIndex = {0, 40, 20, 10, 0, 0};
    tables.MaxGroupDepth = 2;
    tables.SignalsPerBank = kSignals;
    tables.resizeBankTables(6);
    tables.BankSoftVersion[kBank] = softVersion;
    for (int e = 1; e <= 30; ++e) tables.BankFaults[kBank][e] = {std::nullopt, -1, -1};
    tables.BankFaults[kBank][1] = {std::nullopt, 1, 10};
    tables.BankFaults[kBank][2] = {std::nullopt, 3, 20};
    for (int s = 1; s <= kSignals; ++s) {
      tables.SignalAddress[kBank][static_cast<std::size_t>(s)] = kAddresses[s];
      for (int i = 1; i <= kRows; ++i) tables.SampleData32.set(s, i, SampleOf(s, i));
    }
  }
  quillon::TraceBank bank() const { return {kBank, identity, tables, safePanelName}; }
};

}  // namespace

fs::path WriteWorkbook(const fs::path& appFolder) {
  const ReadBank read("SIM01.00");
  const quillon::TraceWorkbookFiles files{kTemplates / "SIM01.00.mdb", kTemplates / quillon::kTraceTemplateName,
                                          appFolder / "TRBSAVE"};
  quillon::DatabaseState databases;
  quillon::ExchangeState exchange;
  const auto written = quillon::WriteTraceWorkbook(read.bank(), false, files, databases, exchange);
  EXPECT_TRUE(written) << exchange.ErrorText;
  return written.value_or(fs::path());
}

fs::path WriteCsvSet(const fs::path& appFolder) {
  const ReadBank read("SIM09.99");
  EXPECT_EQ(quillon::WriteTrbCsvSet(appFolder / "TRBSAVE", read.bank(), platform::shell::CodePage()), "");
  return appFolder / "TRBSAVE" / quillon::TrbFolderName(kPanelName, kTime);
}

bool Pack(const fs::path& folder, const fs::path& archive) {
  char output[512] = {};
  const std::string command = "a \"" + archive.string() + "\" \"" + folder.string() + "\"\\ *.* -n1 -gm1";
  const int result = Unlha(nullptr, command.c_str(), output, sizeof output);
  EXPECT_EQ(result, 0) << output;
  return result == 0;
}

void WriteText(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << text;
}

std::string ReadText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> CrlfLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  if (start < text.size()) lines.push_back("unterminated: " + text.substr(start));
  return lines;
}

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

}  // namespace view_test
