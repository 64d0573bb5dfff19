#include <fstream>

#include <gtest/gtest.h>

#include "platform/db/slots.h"
#include "tests/db/test_files.h"

using namespace platform::db;
using db_test::makeSqliteFile;
using db_test::queryText;

namespace {

const char* kDriveTables = R"sql(
CREATE TABLE MAIN (symbol TEXT(40), address TEXT(8), "Type" TEXT(10), DisplayUnit TEXT(2));
INSERT INTO MAIN VALUES ('B_ITEM', '00002000', '1', 'D');
INSERT INTO MAIN VALUES ('A_ITEM', '1A2B', NULL, '%');
INSERT INTO MAIN VALUES ('C_ITEM', '00000010', '2', NULL);
CREATE TABLE "MAIN%Display" ("Type" TEXT(10), "100%Value" TEXT(20), DiaplayChar TEXT(10), Decimalpoint Short);
INSERT INTO "MAIN%Display" VALUES ('1', '4096', 'A', 2);
)sql";

// A scratch database made from SQL text, open.
struct WorkFile {
  db_test::ScratchFolder folder;
  std::filesystem::path path = folder.file("work.mdb");
  std::shared_ptr<Connection> work;
  explicit WorkFile(const std::string& sql) {
    makeSqliteFile(path, sql);
    work = Connection::open(path);
  }
  std::string query(const std::string& sql) const { return queryText(path, sql); }
};

}  // namespace

TEST(SqliteRecordset, ReadsTablesAndPlainSelectsInOrder) {
  db_test::ScratchFolder folder;
  auto path = folder.file("drive.mdb");
  makeSqliteFile(path, kDriveTables);

  ConnectionSlot drive;
  OpenDbConnection(drive, path);
  ASSERT_TRUE(drive);
  EXPECT_EQ(drive->kind(), FileKind::Sqlite);

  RecordsetSlot lookup;
  OpenDbRecordset(lookup, *drive, "MAIN%Display");
  ASSERT_FALSE(lookup->eof());
  EXPECT_EQ(lookup->field("100%Value").text(), "4096");
  EXPECT_EQ(lookup->field("diaplaychar").text(), "A");  // names without regard to case
  EXPECT_EQ(lookup->field("Decimalpoint").text(), "2");
  EXPECT_THROW(lookup->field("NoSuchColumn"), DbError);
  lookup->moveNext();
  EXPECT_TRUE(lookup->eof());
  EXPECT_THROW(lookup->field(0), DbError);
  EXPECT_THROW(lookup->moveNext(), DbError);

  // Table order first, then the ordered select.
  OpenDbRecordset(lookup, *drive, "MAIN");
  ASSERT_EQ(lookup->fieldCount(), 4);
  EXPECT_EQ(lookup->fieldName(2), "Type");
  EXPECT_EQ(lookup->field("symbol").text(), "B_ITEM");
  lookup->moveNext();
  EXPECT_TRUE(lookup->field("Type").isNull());
  EXPECT_EQ(lookup->field("Type").textOr("100"), "100");

  OpenDbRecordset(lookup, *drive, "Select * From MAIN Order By address");
  std::vector<std::string> order;
  for (lookup->moveFirst(); !lookup->eof(); lookup->moveNext()) order.push_back(lookup->field("address").text());
  EXPECT_EQ(order, (std::vector<std::string>{"00000010", "00002000", "1A2B"}));

  OpenDbRecordset(lookup, *drive, "SELECT symbol FROM MAIN WHERE address = '1a2b'");
  ASSERT_EQ(lookup->rowCount(), 1u);
  EXPECT_EQ(lookup->fieldCount(), 1);
  EXPECT_EQ(lookup->field(0).text(), "A_ITEM");

  EXPECT_THROW(OpenDbRecordset(lookup, *drive, "NoSuchTable"), DbError);
  EXPECT_FALSE(lookup);  // an open replaces, even when it fails

  CloseDbConnection(drive);
  EXPECT_FALSE(drive);
}

TEST(SqliteRecordset, WritesChangesAdditionsAndDeletionsBackAtOnce) {
  WorkFile file("CREATE TABLE Memo (ID INTEGER PRIMARY KEY, Title TEXT(20), Memo TEXT(255) DEFAULT 'x');"
                "INSERT INTO Memo (Title) VALUES ('a'), ('b'), ('c');");
  auto memo = file.work->openRecordset("Memo");
  memo->moveFirst();
  memo->setField("Memo", "first");
  memo->moveNext();
  memo->deleteCurrent();
  memo->moveNext();
  EXPECT_EQ(memo->field("Title").text(), "c");
  memo->addNew();
  memo->setField("Title", "d");
  EXPECT_EQ(memo->rowCount(), 3u);
  // Nothing reaches the file before the write-back.
  EXPECT_EQ(file.query("SELECT count(*) FROM Memo"), "3");
  memo->updateBatch();
  EXPECT_FALSE(memo->hasPendingChanges());
  EXPECT_EQ(file.query("SELECT group_concat(Title || '=' || ifnull(Memo, 'NULL'), ',') FROM Memo"),
            "a=first,c=x,d=x");
  // The added row keeps its identity: a second change updates it, not a new row.
  memo->setField("Memo", "changed");
  memo->updateBatch();
  EXPECT_EQ(file.query("SELECT Memo FROM Memo WHERE Title = 'd'"), "changed");
  EXPECT_EQ(file.query("SELECT count(*) FROM Memo"), "3");
}

TEST(SqliteRecordset, FailedWriteBackLeavesTheFileAsItWasAndCanBeTriedAgain) {
  // Also with commits that need not reach the disk (the journal then kept in memory).
  for (const bool syncEachCommit : {true, false}) {
    WorkFile file("CREATE TABLE T (n Short NOT NULL, t TEXT(5)); INSERT INTO T VALUES (9, 'old');");
    file.work->setSyncEachCommit(syncEachCommit);
    auto rows = file.work->openRecordset("T");
    rows->setField("t", "new");
    // The row that fails comes after others of its kind were written.
    for (int i = 0; i < 5; ++i) {
      rows->addNew();
      rows->setField("t", "x");
      rows->setField("n", i == 3 ? Value::null() : Value(i));
    }
    EXPECT_THROW(rows->updateBatch(), DbError);
    EXPECT_EQ(file.query("SELECT group_concat(n || t, ',') FROM T"), "9old");
    rows->setField("t", "y");  // the last row; the bad one stays bad
    EXPECT_THROW(rows->updateBatch(), DbError);
    for (rows->moveFirst(); !rows->eof(); rows->moveNext())
      if (rows->field("n").isNull()) rows->setField("n", 33);
    rows->updateBatch();
    EXPECT_EQ(file.query("SELECT group_concat(n || t, ',') FROM T"), "9new,0x,1x,2x,33x,4y");

    auto writer = file.work->openTableWriter("T");
    writer->addNew();
    writer->setField(1, Value("no n"));
    EXPECT_THROW(writer->update(), DbError);
    writer.reset();  // dropped without close
    EXPECT_EQ(file.query("SELECT count(*) FROM T"), "6");
  }
}

TEST(SqliteRecordset, WritesManyLikeRowsEachWithItsOwnValues) {
  WorkFile file("CREATE TABLE T (ID Short, a TEXT(10), b TEXT(10) DEFAULT 'd', c Single);"
                "INSERT INTO T (ID, a) VALUES (0, 'keep'), (-1, 'gone'), (-2, 'old');");
  auto table = file.work->openRecordset("T");
  // Rows that set the same columns one after another, and rows between them that set others:
  // no value of one row may reach the next.
  for (int i = 1; i <= 300; ++i) {
    table->addNew();
    table->setField("ID", i);
    table->setField("a", "row" + std::to_string(i));
    if (i % 3 == 0) table->setField("c", i / 4.0);
    if (i % 5 == 0) table->setField("b", Value::null());
  }
  table->moveFirst();
  table->moveNext();
  table->deleteCurrent();
  table->moveNext();
  table->setField("a", "new");
  table->updateBatch();
  EXPECT_EQ(file.query("SELECT count(*) FROM T"), "302");
  EXPECT_EQ(file.query("SELECT group_concat(a, ',') FROM T WHERE ID <= 0"), "keep,new");
  EXPECT_EQ(file.query("SELECT count(*) FROM T WHERE ID > 0 AND a = 'row' || ID"), "300");
  EXPECT_EQ(file.query("SELECT count(*) FROM T WHERE c IS NOT NULL"), "100");
  EXPECT_EQ(file.query("SELECT sum(c = ID / 4.0) FROM T WHERE ID % 3 = 0 AND ID > 0"), "100");
  EXPECT_EQ(file.query("SELECT count(*) FROM T WHERE b IS NULL"), "60");
  EXPECT_EQ(file.query("SELECT count(*) FROM T WHERE ID > 0 AND ID % 5 <> 0 AND b = 'd'"), "240");
  // A whole number goes in exactly, beyond what a double holds.
  table->addNew();
  table->setField("ID", std::int64_t{9007199254740993});
  table->updateBatch();
  EXPECT_EQ(file.query("SELECT max(ID) FROM T"), "9007199254740993");
}

TEST(SqliteRecordset, RunsAccessStyleTableStatements) {
  WorkFile file("CREATE TABLE Data (ID INTEGER PRIMARY KEY);");
  file.work->execute("CREATE TABLE DriveSts(Item TEXT(20), Data TEXT(30))");
  file.work->execute("CREATE TABLE Eventlog(ID Short, TimeS TEXT(30))");
  file.work->execute("ALTER TABLE Eventlog ADD COLUMN NU_B15_DI_DATA1 Short");
  file.work->execute("ALTER TABLE Data ADD COLUMN Data1 Single");
  EXPECT_TRUE(file.work->hasTable("drivests"));
  EXPECT_THROW(file.work->execute("ALTER TABLE Missing ADD COLUMN x Short"), DbError);
  // Statements run together take effect together or not at all.
  EXPECT_THROW(file.work->executeAll({"ALTER TABLE DriveSts ADD COLUMN Extra Short", "ALTER TABLE Missing ADD COLUMN x Short"}),
               DbError);
  EXPECT_EQ(file.query("SELECT count(*) FROM pragma_table_info('DriveSts') WHERE name = 'Extra'"), "0");
  file.work->executeAll({"ALTER TABLE DriveSts ADD COLUMN Extra Short", "ALTER TABLE DriveSts ADD COLUMN More Single"});
  EXPECT_EQ(file.query("SELECT count(*) FROM pragma_table_info('DriveSts')"), "4");

  auto data = file.work->openRecordset("Data");
  ASSERT_EQ(data->fieldCount(), 2);
  EXPECT_EQ(data->fieldName(1), "Data1");
  data->addNew();
  data->setField("Data1", 0.1);  // a Single keeps single precision
  data->updateBatch();
  EXPECT_EQ(data->field("Data1").text(), "0.1");
  auto reread = file.work->openRecordset("Data");
  EXPECT_EQ(reread->field("Data1").kind(), Value::Kind::Single);
  EXPECT_EQ(reread->field("Data1").text(), "0.1");
  EXPECT_EQ(file.query("SELECT Data1 = CAST(0.1 AS REAL) FROM Data"), "0");
}

TEST(SqliteTableWriter, WritesRowsInOneTransactionOnlyOnClose) {
  WorkFile file("CREATE TABLE Data (ID INTEGER PRIMARY KEY, Data1 Single, Data2 Single);"
                "INSERT INTO Data (Data1) VALUES (7);");
  {
    auto writer = file.work->openTableWriter("Data");
    writer->moveFirst();
    writer->addNew();
    writer->setField(1, 1.0);
    writer->update();
  }  // dropped without close: nothing written
  EXPECT_EQ(file.query("SELECT count(*) FROM Data"), "1");

  auto writer = file.work->openTableWriter("data");
  ASSERT_EQ(writer->fieldCount(), 3);
  writer->moveFirst();
  for (int r = 0; r < 3; ++r) {
    if (writer->eof()) writer->addNew();
    else writer->edit();
    writer->setField(1, Value(r + 0.5));
    writer->setField(2, -16777217.0);  // rounds to single precision
    writer->update();
    if (!writer->eof()) writer->moveNext();
  }
  EXPECT_THROW(writer->setField(9, 1.0), DbError);
  writer->close();
  EXPECT_EQ(file.query("SELECT group_concat(ID || ':' || Data1, ',') FROM Data"), "1:0.5,2:1.5,3:2.5");
  EXPECT_EQ(file.query("SELECT CAST(Data2 AS INTEGER) FROM Data"), "-16777216");
}

TEST(Connection, RefusesMissingDamagedAndUnknownFilesClearly) {
  db_test::ScratchFolder folder;
  ConnectionSlot slot;
  EXPECT_THROW(OpenDbConnection(slot, folder.file("missing.mdb")), DbError);

  auto garbage = folder.file("garbage.mdb");
  std::ofstream(garbage) << "this is not a database at all, not even close";
  EXPECT_EQ(detectFileKind(garbage), FileKind::Unknown);
  try {
    OpenDbConnection(slot, garbage);
    FAIL() << "garbage opened";
  } catch (const DbError& error) {
    EXPECT_NE(std::string(error.what()).find("garbage.mdb"), std::string::npos);
  }

  // A SQLite header followed by junk.
  auto damaged = folder.file("damaged.mdb");
  {
    std::ofstream out(damaged, std::ios::binary);
    out.write("SQLite format 3\0", 16);
    for (int i = 0; i < 4096; ++i) out.put(static_cast<char>(0xA5));
  }
  EXPECT_EQ(detectFileKind(damaged), FileKind::Sqlite);
  EXPECT_THROW(OpenDbConnection(slot, damaged), DbError);

  // A Jet header followed by nothing useful.
  auto brokenJet = folder.file("broken.mdb");
  {
    std::ofstream out(brokenJet, std::ios::binary);
    out.write("\0\1\0\0Standard Jet DB\0", 20);
  }
  EXPECT_EQ(detectFileKind(brokenJet), FileKind::Access);
  EXPECT_THROW(OpenDbConnection(slot, brokenJet), DbError);
  EXPECT_FALSE(slot);

  // A successful open replaces the slot's connection and closes the old one.
  auto first = folder.file("one.mdb"), second = folder.file("two.mdb");
  makeSqliteFile(first, "CREATE TABLE A (x);");
  makeSqliteFile(second, "CREATE TABLE B (x);");
  OpenDbConnection(slot, first);
  auto old = slot;
  OpenDbConnection(slot, second);
  EXPECT_FALSE(old->isOpen());
  EXPECT_TRUE(slot->hasTable("B"));
  EXPECT_THROW(old->openRecordset("A"), DbError);
}

namespace {

// A SQLite file of many pages whose table "Events" names 500 events.
std::filesystem::path manyPageDatabase(const db_test::ScratchFolder& folder, const std::string& name) {
  std::string sql = "PRAGMA page_size = 1024; CREATE TABLE Events (code, name); BEGIN;";
  for (int i = 0; i < 500; ++i)
    sql += "INSERT INTO Events VALUES (" + std::to_string(i) + ", 'event name number " + std::to_string(i) + "');";
  sql += "COMMIT;";
  db_test::makeSqliteFile(folder.file(name), sql);
  return folder.file(name);
}

std::string refusalOf(const std::filesystem::path& file) {
  try {
    Connection::open(file, OpenOptions{.verify = true});
  } catch (const DbError& error) {
    return error.what();
  }
  return {};
}

}  // namespace

TEST(Connection, VerifiedOpenRefusesFilesCutShortOrDamagedAndNamesThem) {
  db_test::ScratchFolder folder;
  EXPECT_EQ(refusalOf(manyPageDatabase(folder, "good.mdb")), "");

  // Cut short by 1000 bytes: without the check it opens and reads wrong or missing rows.
  auto cut = manyPageDatabase(folder, "cut.mdb");
  std::filesystem::resize_file(cut, std::filesystem::file_size(cut) - 1000);
  EXPECT_NO_THROW(Connection::open(cut));
  std::string why = refusalOf(cut);
  EXPECT_NE(why.find(cut.string()), std::string::npos) << why;
  EXPECT_NE(why.find("damaged"), std::string::npos) << why;

  // A page in the middle overwritten: the size is right, the integrity check finds it.
  auto scribbled = manyPageDatabase(folder, "scribbled.mdb");
  {
    std::fstream file(scribbled, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(1024 * 3 + 8);
    for (int i = 0; i < 200; ++i) file.put(static_cast<char>(0x5A));
  }
  why = refusalOf(scribbled);
  EXPECT_NE(why.find(scribbled.string()), std::string::npos) << why;
}
