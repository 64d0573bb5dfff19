// The Access backend against what mdbtools' own mdb-export prints for the same file.
#include <glib.h>  // before mdbtools.h, which would include it inside extern "C"
#include <mdbtools.h>

#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

#include <gtest/gtest.h>

#include "platform/db/slots.h"
#include "tests/db/test_files.h"

using namespace platform::db;

namespace {

const std::filesystem::path kFixture = std::filesystem::path(QUILLON_FIXTURES_DIR) / "access" / "DateTestDatabase.mdb";
constexpr char kFieldEnd = '\x1f';
constexpr char kRowEnd = '\x1e';
constexpr const char* kNullMarker = "\x01NULL\x01";
constexpr int kFirstDateColumn = 1;
constexpr int kLastDateColumn = 3;

std::string run(const std::string& command) {
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  std::string output;
  char buffer[4096];
  for (std::size_t n; pipe && (n = fread(buffer, 1, sizeof buffer, pipe.get())) > 0;) output.append(buffer, n);
  return output;
}

// mdb-export's rows, unquoted, with our separators and the same date format as the backend.
std::vector<std::vector<std::string>> exportRows(const std::string& table) {
  const std::string output = run("mdb-export -Q -d '\x1f' -R '\x1e' -0 '" + std::string(kNullMarker) +
                                 "' -D '%Y-%m-%d' -T '%Y-%m-%d %H:%M:%S' '" + kFixture.string() + "' '" + table + "'");
  std::vector<std::vector<std::string>> rows(1, std::vector<std::string>(1));
  for (char c : output) {
    if (c == kFieldEnd) rows.back().emplace_back();
    else if (c == kRowEnd) rows.emplace_back(1);
    else rows.back().back() += c;
  }
  rows.pop_back();  // what follows the last row's end
  return rows;
}

bool haveMdbExport() { return run("command -v mdb-export").find("mdb-export") != std::string::npos; }

bool runningInCi() {
  const char* ci = std::getenv("CI");
  return ci && std::string(ci) == "true";
}

}  // namespace

// A clone without the shared fixtures skips these tests and says what is missing; CI must have them.
#define REQUIRE_ACCESS_FIXTURE()                                                          \
  do {                                                                                    \
    if (!std::filesystem::exists(kFixture)) {                                             \
      if (runningInCi()) FAIL() << "Access fixture not found: " << kFixture;              \
      GTEST_SKIP() << "Access fixture not found: " << kFixture;                           \
    }                                                                                     \
  } while (false)

TEST(AccessBackend, ReadsTheFixtureAsMdbExportDoesExceptItsMisreadDates) {
  REQUIRE_ACCESS_FIXTURE();
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

  // Dates outside 1899-12-30 .. about 2700 come out of libmdb as "1900-01-00 00:00:00".
  const std::vector<std::vector<std::string>> dates = {
      {"2021-12-02 00:00:00", "2021-12-02 00:00:00", "2021-12-02 00:00:00"},
      {"9999-01-01 00:00:00", "9999-01-01 00:00:00", "9999-01-01 00:00:00"},
      {"1898-01-01 00:00:00", "1899-01-01 00:00:00", "1900-01-01 00:00:00"},
      {"0632-01-01 00:00:00", "0633-01-01 00:00:00", "0634-01-01 00:00:00"}};
  rows->moveFirst();
  for (const auto& row : dates) {
    ASSERT_FALSE(rows->eof());
    for (int c = kFirstDateColumn; c <= kLastDateColumn; ++c)
      EXPECT_EQ(rows->field(c).text(), row[static_cast<std::size_t>(c - kFirstDateColumn)]) << rows->field(0).text();
    rows->moveNext();
  }

  if (!haveMdbExport()) {
    if (runningInCi()) FAIL() << "mdb-export not installed";
    GTEST_SKIP() << "mdb-export not installed; compared the known values only";
  }
  auto expected = exportRows("DateTest");
  ASSERT_FALSE(expected.empty());
  std::vector<std::string> header = expected.front();
  expected.erase(expected.begin());
  for (int c = 0; c < rows->fieldCount(); ++c) EXPECT_EQ(rows->fieldName(c), header.at(static_cast<std::size_t>(c)));
  std::size_t index = 0;
  for (rows->moveFirst(); !rows->eof(); rows->moveNext(), ++index) {
    ASSERT_LT(index, expected.size());
    for (int c = 0; c < rows->fieldCount(); ++c) {
      if (c >= kFirstDateColumn && c <= kLastDateColumn && expected[index].at(static_cast<std::size_t>(c)) == "1900-01-00 00:00:00")
        continue;
      const Value& value = rows->field(c);
      std::string text = value.isNull() ? kNullMarker : value.text();
      EXPECT_EQ(text, expected[index].at(static_cast<std::size_t>(c))) << "row " << index << " column " << c;
    }
  }
  EXPECT_EQ(index, expected.size());
}

TEST(AccessBackend, FiltersAndOrdersPlainSelects) {
  REQUIRE_ACCESS_FIXTURE();
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

TEST(AccessBackend, DatesCoverTheWholeAccessRangeAndNothingElse) {
  EXPECT_EQ(AccessDateText(0.0, false), "1899-12-30 00:00:00");
  EXPECT_EQ(AccessDateText(2.5, false), "1900-01-01 12:00:00");
  EXPECT_EQ(AccessDateText(60.0, true), "1900-02-28");  // no 29 February 1900
  EXPECT_EQ(AccessDateText(61.0, true), "1900-03-01");
  // Before 1899-12-30 the whole days count back, the fraction still forward from midnight.
  EXPECT_EQ(AccessDateText(-1.0, false), "1899-12-29 00:00:00");
  EXPECT_EQ(AccessDateText(-1.25, false), "1899-12-29 06:00:00");
  EXPECT_EQ(AccessDateText(-0.75, false), "1899-12-30 18:00:00");
  EXPECT_EQ(AccessDateText(-2.999999999, false), "1899-12-29 00:00:00");  // rounds into the next day
  EXPECT_EQ(AccessDateText(-657434.0, true), "0100-01-01");
  EXPECT_EQ(AccessDateText(2958465.99998, false), "9999-12-31 23:59:58");
  EXPECT_EQ(AccessDateText(36526.0 + 59, true), "2000-02-29");
  EXPECT_FALSE(AccessDateText(-657435.0, false));
  EXPECT_FALSE(AccessDateText(2958466.0, false));
  EXPECT_FALSE(AccessDateText(std::nan(""), false));
}

namespace {

// Appends a row to the fixture's copy with libmdb's own writer: `memo` and `text` are the
// LongTextCol and ShortTextCol values, nullptr for Null (a memo value would need its 12-byte
// header, which the writer leaves to the caller).
bool appendRow(const std::filesystem::path& file, int id, const char* memo, const char* text) {
  MdbHandle* mdb = mdb_open(file.c_str(), MDB_WRITABLE);
  if (!mdb) return false;
  bool done = false;
  if (mdb_read_catalog(mdb, MDB_TABLE)) {
    if (MdbTableDef* table = mdb_read_table_by_name(mdb, const_cast<gchar*>("DateTest"), MDB_TABLE)) {
      mdb_read_columns(table);
      mdb_read_indices(table);
      MdbField fields[6] = {};
      double date = 44000.0;
      for (int c = 0; c < 6; ++c) {
        fields[c].colnum = c;
        fields[c].is_fixed = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, c))->is_fixed;
      }
      fields[0] = {&id, 4, 0, 0, 1, 0, 0};
      for (int c = 1; c <= 3; ++c) fields[c] = {&date, 8, 0, 0, 1, c, 0};
      const char* texts[2] = {memo, text};
      for (int c = 4; c <= 5; ++c) {
        const char* value = texts[c - 4];
        fields[c].value = const_cast<char*>(value ? value : "");
        fields[c].siz = value ? static_cast<int>(std::strlen(value)) : 0;
        fields[c].is_null = value == nullptr;
      }
      done = mdb_insert_row(table, 6, fields) != 0;
      mdb_free_tabledef(table);
    }
  }
  mdb_close(mdb);
  return done;
}

}  // namespace

TEST(AccessBackend, NullAndEmptyTextStayApart) {
  REQUIRE_ACCESS_FIXTURE();
  db_test::ScratchFolder scratch;
  const auto copy = scratch.file("nulls.mdb");
  std::filesystem::copy_file(kFixture, copy);
  std::filesystem::permissions(copy, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  ASSERT_TRUE(appendRow(copy, 7, nullptr, ""));
  ASSERT_TRUE(appendRow(copy, 8, nullptr, nullptr));

  auto rows = Connection::open(copy)->openRecordset("SELECT * FROM DateTest WHERE IDCol >= 7 ORDER BY IDCol");
  ASSERT_EQ(rows->rowCount(), 2u);
  EXPECT_TRUE(rows->field("LongTextCol").isNull());
  EXPECT_FALSE(rows->field("ShortTextCol").isNull());  // libmdb's own binding reads this as Null
  EXPECT_EQ(rows->field("ShortTextCol").textOr("Null"), "");
  EXPECT_EQ(rows->field("DateTimeCol").text(), "2020-06-18 00:00:00");
  rows->moveNext();
  EXPECT_TRUE(rows->field("ShortTextCol").isNull());
}
