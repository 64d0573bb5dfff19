// The Access backend against what mdbtools' own mdb-export prints for the same file.
#include <cstdio>
#include <filesystem>
#include <memory>

#include <gtest/gtest.h>

#include "platform/db/slots.h"

using namespace platform::db;

namespace {

const std::filesystem::path kFixture = std::filesystem::path(QUILLON_FIXTURES_DIR) / "access" / "DateTestDatabase.mdb";
constexpr char kFieldEnd = '\x1f';
constexpr char kRowEnd = '\x1e';
constexpr const char* kNullMarker = "\x01NULL\x01";

std::string run(const std::string& command) {
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  std::string output;
  if (!pipe) return output;
  char buffer[4096];
  std::size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe.get())) > 0) output.append(buffer, n);
  return output;
}

// mdb-export's rows, unquoted, with our separators and the same date format as the backend.
std::vector<std::vector<std::string>> exportRows(const std::string& table) {
  std::string command = "mdb-export -Q -d $'\\x1f' -R $'\\x1e' -0 $'\\x01NULL\\x01' -D '%Y-%m-%d' -T '%Y-%m-%d %H:%M:%S' '" +
                        kFixture.string() + "' '" + table + "'";
  std::string output = run("bash -c \"" + std::string([&] {
                             std::string escaped;
                             for (char c : command) {
                               if (c == '"' || c == '\\' || c == '$') escaped += '\\';
                               escaped += c;
                             }
                             return escaped;
                           }()) + "\"");
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> row;
  std::string field;
  for (char c : output) {
    if (c == kFieldEnd) {
      row.push_back(field);
      field.clear();
    } else if (c == kRowEnd) {
      row.push_back(field);
      field.clear();
      rows.push_back(row);
      row.clear();
    } else {
      field += c;
    }
  }
  return rows;
}

bool haveMdbExport() { return run("command -v mdb-export").find("mdb-export") != std::string::npos; }

}  // namespace

TEST(AccessBackend, ReadsTheFixtureAsMdbExportDoes) {
  if (!std::filesystem::exists(kFixture.parent_path()))
    GTEST_SKIP() << "Access fixture folder not found: " << kFixture.parent_path();
  ConnectionSlot drive;
  OpenDbConnection(drive, kFixture);
  EXPECT_EQ(drive->kind(), FileKind::Access);
  EXPECT_TRUE(drive->readOnly());
  auto tables = drive->tableNames();
  ASSERT_EQ(tables, (std::vector<std::string>{"DateTest"}));

  RecordsetSlot rows;
  OpenDbRecordset(rows, *drive, "datetest");
  ASSERT_EQ(rows->fieldCount(), 6);
  EXPECT_EQ(rows->fieldName(0), "IDCol");
  EXPECT_EQ(rows->fieldName(5), "ShortTextCol");
  EXPECT_EQ(rows->field("IDCol").text(), "1");
  EXPECT_EQ(rows->field("shorttextcol").text(), "Hello");
  EXPECT_FALSE(rows->updatable());
  EXPECT_THROW(rows->setField("IDCol", 5), DbError);
  EXPECT_THROW(drive->execute("CREATE TABLE X(a Short)"), DbError);

  if (!haveMdbExport()) GTEST_SKIP() << "mdb-export not installed; compared the known values only";
  auto expected = exportRows("DateTest");
  ASSERT_FALSE(expected.empty());
  std::vector<std::string> header = expected.front();
  expected.erase(expected.begin());
  for (int c = 0; c < rows->fieldCount(); ++c) EXPECT_EQ(rows->fieldName(c), header.at(static_cast<std::size_t>(c)));
  std::size_t index = 0;
  for (rows->moveFirst(); !rows->eof(); rows->moveNext(), ++index) {
    ASSERT_LT(index, expected.size());
    for (int c = 0; c < rows->fieldCount(); ++c) {
      const Value& value = rows->field(c);
      std::string text = value.isNull() ? kNullMarker : value.text();
      EXPECT_EQ(text, expected[index].at(static_cast<std::size_t>(c))) << "row " << index << " column " << c;
    }
  }
  EXPECT_EQ(index, expected.size());
}

TEST(AccessBackend, FiltersAndOrdersPlainSelects) {
  if (!std::filesystem::exists(kFixture.parent_path()))
    GTEST_SKIP() << "Access fixture folder not found: " << kFixture.parent_path();
  auto drive = Connection::open(kFixture);
  auto rows = drive->openRecordset("Select IDCol, ShortTextCol From DateTest Where ShortTextCol = 'pre-1900 YEARS'");
  ASSERT_EQ(rows->rowCount(), 1u);
  EXPECT_EQ(rows->field("IDCol").text(), "3");

  rows = drive->openRecordset("SELECT * FROM [DateTest] ORDER BY IDCol DESC");
  EXPECT_EQ(rows->field("IDCol").text(), "6");
  rows = drive->openRecordset("SELECT * FROM DateTest WHERE IDCol >= 5 ORDER BY ShortTextCol");
  ASSERT_EQ(rows->rowCount(), 2u);
  EXPECT_EQ(rows->field("ShortTextCol").text(), "Escaped new line \\r\\n in field");

  EXPECT_THROW(drive->openRecordset("SELECT * FROM DateTest, Other"), DbError);
  EXPECT_THROW(drive->openRecordset("SELECT Nope FROM DateTest"), DbError);
  EXPECT_THROW(drive->openRecordset("Missing"), DbError);
}
