// The comparison of two saves on models in the forms the readers give them: a workbook save
// against one of CSV files must pair the same records, whatever names each form adds.
#include <gtest/gtest.h>

#include "quillon/view/diff_writers.h"
#include "quillon/view/save_diff.h"

namespace {

using namespace quillon::view;
using Rows = std::vector<std::vector<std::string>>;

void AddTable(SaveModel& model, TableKind kind, std::vector<std::string> columns, Rows rows) {
  model.tables.emplace_back(kind, RecordTable{TableTitle(kind), "", std::move(columns), std::move(rows)});
}

DriveInfo Drive(const std::string& softVersion) {
  DriveInfo drive;
  drive.driveType = "RX-Fenn";
  drive.softVersion = softVersion;
  drive.panelName = "Line 3";
  return drive;
}

Bank BankAt(const std::string& time, const std::string& code, const std::string& name) {
  Bank bank;
  bank.faultTime = time;
  bank.faults.push_back({1, code, name, "", std::nullopt});
  return bank;
}

// A save with the drive database: workbook tables, named faults.
SaveModel OlderSave() {
  SaveModel model;
  model.drive = Drive("SIM01.00");
  model.banks = {BankAt("2014/03/12  08:15:02", "1", "OC"), BankAt("2015/04/01  10:00:00", "3", "OV")};
  AddTable(model, TableKind::SettingParameters, {"ID", "symbol", "Data", "Unit"},
           {{"1", "ACC_TIME1", "00000000", "(H)"}, {"2", "ACC_TIME1", " 100", "(D)"}, {"3", "MOTOR_POLES", " 4", "(D)"},
            {"4", "DUP", " 1", "(D)"}, {"5", "DUP", " 2", "(D)"}, {"6", "SETEND", "00000000", "(H)"}});
  AddTable(model, TableKind::TroubleRecords, {"ID", "TimeS", "FI1", "Fi2", "Fi1_Data", "Fi2_Data"},
           {{"1", "2014/03/12 08:15:02", "17", "2", "OC", "OV"}});
  AddTable(model, TableKind::EventLog, {"No.", "Time", "SSEQ_OUT1"}, {{"1", "2014/03/12 23:05:41", "3"}});
  AddTable(model, TableKind::EventCounters, {"No.", "Time", "Count"},
           {{"1", "2014/03/12 08:15:02", "125"}, {"2", "2014/03/12 08:15:02", "7"}});
  return model;
}

// The newer save in the other forms: CSV records, faults by code, event log as bits.
SaveModel NewerSave() {
  SaveModel model;
  model.drive = Drive("SIM01.01");
  model.banks = {BankAt("2014/03/12  08:15:02", "1", ""), BankAt("2016/05/05  05:05:05", "12", "EF")};
  AddTable(model, TableKind::SettingParameters, {"ID", "symbol", "Data", "Unit"},
           {{"1", "ACC_TIME1", "00000000", "(H)"}, {"2", "ACC_TIME1", " 120", "(D)"}, {"3", "DUP", " 1", "(D)"},
            {"4", "DUP", " 3", "(D)"}, {"5", "NEW_PAR", "0007", "(H)"}, {"6", "SETEND", "00000000", "(H)"}});
  AddTable(model, TableKind::TroubleRecords, {"No.", "Time", "Fault code 1", "Fault code 2"},
           {{"1", "2014/03/12 08:15:02", "17", "2"}, {"2", "2015/01/01 00:00:00", "3", "4"}, {"3", "// ::", "0", "0"},
            {"4", "2000/00/00 00:00:00", "0", "0"}});
  AddTable(model, TableKind::EventLog, {"ID", "TimeS", "_B15_SSEQ_OUT1", "FWD_B1_SSEQ_OUT1", "RUN_B0_SSEQ_OUT1"},
           {{"1", "2014/03/12 23:05:41", "0", "1", "1"}, {"2", "2016/05/05 05:05:05", "1", "0", "0"}});
  AddTable(model, TableKind::EventCounters, {"ID", "TimeS", "Event", "TitleUS"},
           {{"1", "2016/05/05 05:05:05", "130", "Run count"}, {"2", "2014/03/12 08:15:02", "7", "Event 2"}});
  return model;
}

// key=old>new[ name][ unit][ change]; each entry.
std::string Lines(const SaveDiff& diff, DiffSection section) {
  std::string text;
  for (const DiffEntry& e : diff.entries(section))
    text += e.key + "=" + e.oldValue.value_or("-") + ">" + e.newValue.value_or("-") + (e.name.empty() ? "" : " " + e.name) +
            (e.unit.empty() ? "" : " " + e.unit) + (e.change.empty() ? "" : " " + e.change) + "; ";
  return text;
}

TEST(SaveDiff, PairsEveryFormAndListsOnlyWhatChanged) {
  const SaveModel older = OlderSave(), newer = NewerSave();
  const SaveDiff diff = CompareSaves({older, "old"}, {newer, "new"}, [](const std::string& symbol) {
    return symbol == "ACC_TIME1" ? std::string("Acceleration time 1") : std::string();
  });
  const std::pair<DiffSection, std::string> expected[] = {
      {DiffSection::Identity, "Firmware version=SIM01.00>SIM01.01; "},
      {DiffSection::Settings,
       "ACC_TIME1=100>120 Acceleration time 1 (D); MOTOR_POLES=4>0 (not listed) (D); DUP #2=2>3 (D); "
       "NEW_PAR=0 (not listed)>0007 (H); "},
      {DiffSection::Banks, "2015/04/01  10:00:00=OV>-; 2016/05/05  05:05:05=->EF; "},
      {DiffSection::TroubleRecords, "2015/01/01 00:00:00=->FI 3, FI 4; "},
      {DiffSection::EventCounts, "1=125>130 Run count +5; "},
      {DiffSection::EventLog, "2016/05/05 05:05:05=->SSEQ_OUT1=8000; "},
  };
  for (const auto& [section, lines] : expected) EXPECT_EQ(Lines(diff, section), lines) << DiffSectionKey(section);
  EXPECT_EQ(diff.sameBanks, 1u) << "the same fault, named in one save only";
  EXPECT_TRUE(diff.notes.empty());
  EXPECT_EQ(diff.summary(),
            "Differences: 1 identity field, 4 setting parameters, 1 new bank, 1 bank gone, 1 new trouble record, "
            "1 event counter, 1 new event-log entry (1 bank the same).");

  const SaveDiff itself = CompareSaves({newer, "new"}, {newer, "new"});
  EXPECT_TRUE(itself.same());
  EXPECT_EQ(itself.summary(), "No differences (2 banks the same).");
  EXPECT_EQ(DiffText(itself).find("Setting parameters"), std::string::npos) << "nothing listed";
}

TEST(SaveDiff, SectionsOneSaveCannotHoldAreNotedNotListed) {
  SaveModel older = OlderSave(), words = NewerSave();
  words.tables.erase(words.tables.begin());  // the CSV file of the memory image instead of the workbook
  AddTable(words, TableKind::SettingParameters, {"No.", "Address", "Value"}, {{"1", "0x24059000", "120"}});
  words.tables.erase(std::remove_if(words.tables.begin(), words.tables.end(),
                                    [](const auto& t) { return t.first == TableKind::EventLog; }),
                     words.tables.end());
  const SaveDiff diff = CompareSaves({older, "old", false}, {words, "new"});
  EXPECT_TRUE(diff.entries(DiffSection::Settings).empty());
  EXPECT_TRUE(diff.entries(DiffSection::Banks).empty());
  ASSERT_EQ(diff.notes.size(), 3u);
  EXPECT_NE(diff.notes[0].find("by symbol"), std::string::npos) << diff.notes[0];
  EXPECT_NE(diff.notes[1].find("older save is a setting-parameter workbook"), std::string::npos) << diff.notes[1];
  EXPECT_NE(diff.notes[2].find("newer save holds none"), std::string::npos) << diff.notes[2];

  // The JSON object holds every section, null where a save has none.
  const std::string json = DiffJson(CompareSaves({older, "a \"quoted\" name"}, {NewerSave(), "new"}));
  for (const char* key : {"\"identity\": [", "\"settings\": [", "\"banks\": [", "\"troubleRecords\": [",
                          "\"eventCounts\": [", "\"eventLog\": [", "\"old\": null", "a \\\"quoted\\\" name"})
    EXPECT_NE(json.find(key), std::string::npos) << key;
}

}  // namespace
