#include "quillon/database/trace_workbook.h"

#include <cstring>

#include "platform/db/db_error.h"
#include "quillon/database/workbook_file.h"

namespace quillon {

using platform::db::DbError;
using platform::db::Value;

namespace {

constexpr int kSamplesPerDepthUnit = 64;
constexpr int kFaultEntries = 30;
constexpr int kWrittenGroups = 3;
constexpr std::size_t kLongAddressLength = 10;  // "&H" + 8 digits

struct SignalLayout {
  SampleForm form = SampleForm::Decimal;
  int byteOffset = 0;
};

std::string trimmed(std::string_view text) {
  std::size_t start = text.find_first_not_of(' ');
  if (start == std::string_view::npos) return {};
  std::size_t end = text.find_last_not_of(' ');
  return std::string(text.substr(start, end - start + 1));
}

// Texts from the drive and its database end up in a file name: they may not reach another folder.
std::string safeForFileName(std::string text) {
  for (char& c : text)
    if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20) c = '_';
  return text;
}

std::string faultCodeText(const std::optional<std::int16_t>& code) {
  return code ? platform::db::formatDouble(*code) : std::string();
}

// Fault entry k's field (1: FI code, 2: detected sample) of the bank.
const std::optional<std::int16_t>& faultField(const TraceBank& bank, int entry, int field) {
  return bank.tables.bankFaults(bank.bank)[static_cast<std::size_t>(entry)][static_cast<std::size_t>(field)];
}
constexpr int kFaultCodeField = 1, kDetectedSampleField = 2;

std::string hexDigitsOf(const std::string& addressText) {
  if (addressText.size() >= 2 && addressText[0] == '&' && (addressText[1] == 'H' || addressText[1] == 'h'))
    return addressText.substr(2);
  return addressText;
}

// Moves to the next template row; the template must hold enough of them.
void requireRow(platform::db::Recordset& recordset, const char* table, int row) {
  if (recordset.eof())
    throw DbError(std::string("The workbook template has too few rows in \"") + table + "\" (row " +
                  std::to_string(row) + " missing).");
}

void writeMemo(platform::db::Connection& work, const TraceBank& bank) {
  auto memo = work.openRecordset("Memo");
  const std::string values[] = {bank.identity.DriveType, bank.tables.bankSoftVersion(bank.bank),
                                bank.identity.PanelName, "??", " 0", "TraceBack"};
  int row = 1;
  memo->moveFirst();
  for (const auto& value : values) {
    requireRow(*memo, "Memo", row++);
    memo->setField("Memo", value);
    memo->moveNext();
  }
  memo->updateBatch();
  memo->close();
}

std::vector<SignalLayout> writeWords(platform::db::Connection& work, const TraceBank& bank, DatabaseState& databases) {
  LookupResults& item = databases.results;
  const int signals = bank.tables.SignalsPerBank;
  std::vector<SignalLayout> layouts(static_cast<std::size_t>(signals) + 1);
  auto word = work.openRecordset("Word");
  word->moveFirst();
  for (int i = 1; i <= signals; ++i) {
    if (word->eof()) word->addNew();
    const std::string address = bank.tables.signalAddress(bank.bank, i);
    word->setField("address", address);
    std::string symbol = databases.lookups.Address2Symbol(AddressKey(hexDigitsOf(address)));
    word->setField("symbol", symbol == "0" ? address : symbol);

    std::string accessCode = item.ItemAccessUnit.empty() || item.ItemAccessUnit == "0" ? "D" : item.ItemAccessUnit;
    layouts[static_cast<std::size_t>(i)] = {SampleFormOf(accessCode), SignalByteOffset(address)};

    if (item.ItemDisplayUnit != "%") {
      word->setField("DisplayChar", "D");
      word->setField("PCTValue", 100);
    } else {
      word->setField("PCTValue", databases.lookups.FindType(item.ItemType));
      word->setField("DisplayChar", item.ItemDisplayChar);
    }
    word->setField("LongName", item.ItemLongNameJP.empty() ? std::string("None") : item.ItemLongNameUS);
    word->setField("Max", 0);
    word->setField("Min", 0);
    word->moveNext();
  }
  word->updateBatch();
  word->close();
  return layouts;
}

void addDataColumns(platform::db::Connection& work, int signals) {
  auto data = work.openRecordset("Data");
  std::vector<std::string> additions;
  for (int i = 1; i <= signals; ++i) {
    std::string name = "Data" + std::to_string(i);
    if (!data->hasField(name)) additions.push_back("ALTER TABLE Data ADD COLUMN " + name + " Single");
  }
  data->close();
  work.executeAll(additions);
}

std::string detectTime(const TraceBank& bank) {
  const BankTimeRow& t = bank.tables.bankTime(bank.bank);
  return t[1] + "/" + t[2] + "/" + t[3] + "  " + t[4] + ":" + t[5] + ":" + t[6];
}

void writeTitle(platform::db::Connection& work, const TraceBank& bank) {
  const DriveIdentity& input = bank.identity;
  auto title = work.openRecordset("Title");
  title->moveFirst();
  requireRow(*title, "Title", 1);
  title->setField("OrderNumber", input.OrderNumber1 + " " + input.OrderNumber2);
  title->setField("DetectTime", detectTime(bank));
  title->setField("MAX_SAMPLE", "3");
  title->setField("Inv_Rating",
                  input.InverterVoltage + "V - " + input.InverterCurrent + "A - " + input.InverterCapacity + "KVA");
  title->setField("Motor_Rating", input.MotorOutput + "kW - " + input.MotorPoles + "P - " + input.MotorVoltage +
                                      "V - " + input.MotorCurrent + "A - " + input.MotorFrequency + "Hz - " +
                                      input.MotorSpeed + "min-1");
  title->setField("HelpFileJP", "");
  title->setField("HelpFileUS", "");
  title->updateBatch();
  title->close();
}

void writeSampleParameters(platform::db::Connection& work, const TraceBackTables& input) {
  auto groups = work.openRecordset("SampleParameters");
  groups->moveFirst();
  int channels = 0;
  for (int g = 1; g <= kWrittenGroups; ++g) {
    requireRow(*groups, "SampleParameters", g);
    auto index = static_cast<std::size_t>(g);
    channels += input.GroupSignals[index];
    groups->setField("Block_Max", static_cast<int>(input.GroupDepth[index - 1]) * kSamplesPerDepthUnit);
    groups->setField("Channel_Max", channels);
    groups->setField("Fault_idx", static_cast<int>(input.GroupFaultIndex[index]));
    groups->setField("SAMPLING", static_cast<std::int64_t>(input.GroupSampling[index]));
    groups->moveNext();
  }
  groups->updateBatch();
  groups->close();
}

void writeFaults(platform::db::Connection& work, const TraceBank& bank, DatabaseState& databases) {
  auto faults = work.openRecordset("FI");
  faults->moveFirst();
  for (int k = 1; k <= kFaultEntries; ++k) {
    requireRow(*faults, "FI", k);
    std::string code = faultCodeText(faultField(bank, k, kFaultCodeField));
    faults->setField("FINmae", databases.lookups.FiCode2FiName(trimmed(code)));
    faults->setField("FIExp", databases.results.FaultNameUS);
    faults->setField("FiCode", code);
    const std::optional<std::int16_t>& detected = faultField(bank, k, kDetectedSampleField);
    if (!detected) faults->setField("FiDetectedSample", Value::null());
    else faults->setField("FiDetectedSample", *detected == -1 ? 0.0 : static_cast<double>(*detected));
    faults->setField("HelpPageJP", 0);
    faults->setField("HelpPageUS", 0);
    faults->moveNext();
  }
  faults->updateBatch();
  faults->close();
}

void writeSamples(platform::db::Connection& work, const TraceBank& bank, const std::vector<SignalLayout>& layouts) {
  const TraceBackTables& input = bank.tables;
  const bool wide = bank.identity.InterfaceLevel >= kWideRequestSetLevel;
  auto writer = work.openTableWriter("Data");
  // Field c is "Data" + c; found by name so that a template with other leading columns still fits.
  std::vector<int> ordinals(layouts.size(), 0);
  for (int c = 1; c <= input.SignalsPerBank; ++c) {
    std::string wanted = "Data" + std::to_string(c);
    ordinals[static_cast<std::size_t>(c)] = c;
    for (int f = 0; f < writer->fieldCount(); ++f)
      if (platform::db::sameName(writer->fieldName(f), wanted)) ordinals[static_cast<std::size_t>(c)] = f;
  }
  int rows = input.MaxGroupDepth * kSamplesPerDepthUnit;
  writer->moveFirst();
  for (int r = 1; r <= rows; ++r) {
    if (writer->eof()) writer->addNew();
    else writer->edit();
    for (int c = 1; c <= input.SignalsPerBank; ++c) {
      const SignalLayout& layout = layouts[static_cast<std::size_t>(c)];
      std::int32_t sample = wide ? input.SampleData32.at(c, r) : input.SampleData16.at(c, r);
      writer->setField(ordinals[static_cast<std::size_t>(c)], SampleValue(layout.form, layout.byteOffset, sample, wide));
    }
    writer->update();
    if (!writer->eof()) writer->moveNext();
  }
  writer->close();
}

// The tables hold one bank sized for the layout it was read with; a bank read otherwise has
// nothing to write.
void checkTables(const TraceBank& bank) {
  const TraceBackTables& t = bank.tables;
  if (static_cast<std::size_t>(bank.bank) >= t.SignalAddress.size() ||
      t.SignalAddress[bank.bank].size() <= static_cast<std::size_t>(t.SignalsPerBank))
    throw DbError("The bank's signal addresses are missing.");
  const bool wide = bank.identity.InterfaceLevel >= kWideRequestSetLevel;
  if ((wide ? t.SampleData32.signals() : t.SampleData16.signals()) < t.SignalsPerBank)
    throw DbError("No sample table for the bank.");
}

}  // namespace

void DatabaseState::openDriveDb(const std::filesystem::path& path) {
  platform::db::OpenDbConnection(driveDb, path, driveDbOptions);
  lookups.attach(driveDb);
  results.DriveDbPath = path;
}

void DatabaseState::closeDriveDb() {
  lookups.detach();
  platform::db::CloseDbConnection(driveDb);
}

SampleForm SampleFormOf(const std::string& accessCode) {
  if (accessCode == "D") return SampleForm::Decimal;
  if (accessCode == "F") return SampleForm::Float;
  if (accessCode == "W") return SampleForm::Word;
  return SampleForm::Byte;
}

double SampleValue(SampleForm form, int byteOffset, std::int32_t sample, bool wide) {
  // The hexadecimal form of a 16-bit sample has 4 digits, of a 32-bit one 8.
  std::uint32_t digits = wide ? static_cast<std::uint32_t>(sample) : static_cast<std::uint16_t>(sample);
  unsigned shift = 8u * static_cast<unsigned>(byteOffset & 3);
  switch (form) {
    case SampleForm::Decimal: return static_cast<double>(sample);
    case SampleForm::Float: {
      auto bits = static_cast<std::uint32_t>(sample);
      float value;
      std::memcpy(&value, &bits, sizeof value);
      return static_cast<double>(value);
    }
    case SampleForm::Word: return static_cast<double>(static_cast<std::int16_t>((digits >> shift) & 0xFFFFu));
    case SampleForm::Byte: return static_cast<double>((digits >> shift) & 0xFFu);
  }
  return 0;
}

int SignalByteOffset(const std::string& addressText) {
  if (addressText.size() != kLongAddressLength) return 0;
  char last = addressText.back();
  int value = 0;
  if (last >= '0' && last <= '9') value = last - '0';
  else if (last >= 'A' && last <= 'F') value = last - 'A' + 10;
  else if (last >= 'a' && last <= 'f') value = last - 'a' + 10;
  return value % 4;
}

std::string TraceWorkbookName(std::optional<int> bankInName, const std::string& SafePanelName, const BankTimeRow& t,
                              const std::string& faultName1, const std::string& faultName2) {
  std::string name = "TRB";
  if (bankInName) name += std::to_string(*bankInName);
  name += trimmed(SafePanelName) + "_" + t[1] + t[2] + t[3] + "_" + t[4] + t[5] + t[6] + " " + faultName1 +
          ", " + faultName2 + ".mdb";
  return safeForFileName(std::move(name));
}

std::optional<std::filesystem::path> WriteTraceWorkbook(const TraceBank& bank, bool bankNumberInName,
                                                        const TraceWorkbookFiles& files, DatabaseState& databases,
                                                        ExchangeState& exchange) {
  const std::filesystem::path& folder = files.workingFolder;
  std::filesystem::path partial = folder / (".TRB" + std::to_string(bank.bank) + ".partial.mdb");
  try {
    checkTables(bank);
    databases.openDriveDb(files.driveDb);
    std::filesystem::create_directories(folder);

    std::string fault1 = databases.lookups.FiCode2FiName(trimmed(faultCodeText(faultField(bank, 1, kFaultCodeField))));
    std::string fault2 = databases.lookups.FiCode2FiName(trimmed(faultCodeText(faultField(bank, 2, kFaultCodeField))));
    const std::optional<int> bankInName = bankNumberInName ? std::optional<int>(bank.bank) : std::nullopt;
    std::filesystem::path target = folder / TraceWorkbookName(bankInName, bank.SafePanelName,
                                                              bank.tables.bankTime(bank.bank), fault1, fault2);

    StartWorkbookFromTemplate(files.templateFile, partial);

    platform::db::OpenDbConnection(databases.workDb, partial);
    platform::db::Connection& work = *databases.workDb;
    work.setSyncEachCommit(false);
    writeMemo(work, bank);
    std::vector<SignalLayout> layouts = writeWords(work, bank, databases);
    addDataColumns(work, bank.tables.SignalsPerBank);
    writeTitle(work, bank);
    writeSampleParameters(work, bank.tables);
    writeFaults(work, bank, databases);
    writeSamples(work, bank, layouts);
    platform::db::CloseDbConnection(databases.workDb);
    PublishWorkbook(partial, target);
    return target;
  } catch (const std::exception& error) {
    platform::db::CloseDbConnection(databases.workDb);
    std::error_code ignored;
    std::filesystem::remove(partial, ignored);
    exchange.abortWith("Trace-back workbook of bank " + std::to_string(bank.bank) + " not written: " + error.what());
    return std::nullopt;
  }
}

}  // namespace quillon
