#include "quillon/database/drive_db_lookups.h"

#include <gtest/gtest.h>

#include "platform/db/db_error.h"
#include "tests/db/test_files.h"

using namespace quillon;
using platform::db::Connection;
using platform::db::DbError;

namespace {

std::string mainBitColumns() {
  std::string columns;
  for (int b = 0; b < 16; ++b) {
    char prefix[3];
    std::snprintf(prefix, sizeof prefix, "%02d", b);
    columns += std::string(", \"") + prefix + "BitSymbol\", \"" + prefix + "BitLongNameJP\", \"" + prefix + "BitLongNameUS\"";
  }
  return columns;
}

const std::string kDriveDb = R"sql(
CREATE TABLE MAIN (symbol, address, "Type", DisplayUnit, LongNameJP, LongNameUS, AccessUnit, ArrayLength);
INSERT INTO MAIN VALUES ('NOADDRESS', NULL, '1', 'D', 'j', 'u', 'B', NULL);
INSERT INTO MAIN VALUES ('EMPTYADDRESS', '', '1', 'D', 'j', 'u', 'B', NULL);
INSERT INTO MAIN VALUES ('FIRST', '1A2B', 'SPEED', '%', '速度', 'Speed', 'D', NULL);
INSERT INTO MAIN VALUES ('SECOND', '00001A2B', 'X', 'H', 'jp', 'us', 'W', '2');
INSERT INTO MAIN VALUES ('NULLS', '00002000', NULL, NULL, NULL, NULL, NULL, NULL);
INSERT INTO MAIN VALUES ('LOWER', 'abcd0010', '1', 'D', 'j', 'u', 'B', NULL);
CREATE TABLE "MAIN%Display" ("Type", "100%Value", DiaplayChar, Decimalpoint);
INSERT INTO "MAIN%Display" VALUES ('SPEED', '16384', NULL, '1');
INSERT INTO "MAIN%Display" VALUES ('SPEED', '1', 'second row', '9');
CREATE TABLE FI (FI_CODE, BitGroup, Bit);
INSERT INTO FI VALUES ('3', 'W1', '3'), ('12', 'W1', '12'), ('7', 'NOWORD', '1'), ('8', 'W1', '16'), ('9', 'W1', NULL),
                      ('12', 'W1', '0');
CREATE TABLE MainBIT (BitGroup)sql" + mainBitColumns() + R"sql();
INSERT INTO MainBIT (BitGroup, "03BitSymbol", "03BitLongNameJP", "03BitLongNameUS", "12BitSymbol", "12BitLongNameUS")
  VALUES ('W1', '  OV  ', '過電圧', 'Overvoltage', 'OH', 'Overheat');
)sql";

// What Address2Symbol leaves behind: type, unit, Japanese and English names, access unit, array length.
std::string item(const LookupResults& r) {
  return r.ItemType + "|" + r.ItemDisplayUnit + "|" + r.ItemLongNameJP + "|" + r.ItemLongNameUS + "|" + r.ItemAccessUnit + "|" +
         r.ItemArrayLength;
}

}  // namespace

TEST(DriveDbLookups, AddressLookupMatchesPaddedAddressesAndKeepsTheFirstRow) {
  db_test::ScratchFolder scratch;
  db_test::makeSqliteFile(scratch.file("d.mdb"), kDriveDb);
  LookupResults results;
  DriveDbLookups lookups(results);
  lookups.attach(Connection::open(scratch.file("d.mdb")));

  EXPECT_EQ(lookups.Address2Symbol("00001A2B"), "FIRST");
  EXPECT_EQ(item(results), "SPEED|%|速度|Speed|D|");
  EXPECT_EQ(lookups.Address2Symbol("1a2b"), "FIRST");
  EXPECT_EQ(lookups.Address2Symbol("ABCD0010"), "LOWER");

  // Rows without an address match nothing, not even an empty or zero argument.
  EXPECT_EQ(lookups.Address2Symbol(""), "0");
  EXPECT_EQ(lookups.Address2Symbol("0"), "0");
  EXPECT_EQ(lookups.Symbol2Address("NOADDRESS"), "");

  EXPECT_EQ(lookups.Address2Symbol("2000"), "NULLS");
  EXPECT_EQ(item(results), "100|D||||");

  lookups.Address2Symbol("1A2B");
  EXPECT_EQ(lookups.Address2Symbol("FFFF"), "0");
  EXPECT_EQ(item(results), "100|D|None|None|0|0");  // not the previous item's

  EXPECT_EQ(lookups.Symbol2Address("SECOND"), "00001A2B");
  EXPECT_EQ(lookups.Symbol2Address("second"), "0");

  EXPECT_EQ(lookups.FindType("SPEED"), "16384");
  EXPECT_EQ(results.ItemDisplayChar + "|" + results.ItemDecimalPoint, "%|1");
  EXPECT_EQ(lookups.FindType("NOPE"), "0");
  EXPECT_EQ(results.ItemDisplayChar + "|" + results.ItemDecimalPoint, "0|0");
}

TEST(DriveDbLookups, FaultCodesReadTheirBitColumns) {
  db_test::ScratchFolder scratch;
  db_test::makeSqliteFile(scratch.file("d.mdb"), kDriveDb);
  db_test::makeSqliteFile(scratch.file("empty.mdb"), "CREATE TABLE MAIN (x);");
  LookupResults results;
  DriveDbLookups lookups(results);
  // "-1" needs no database, not even an "FI" table.
  lookups.attach(Connection::open(scratch.file("empty.mdb")));
  results.FaultNameUS = "stale";
  EXPECT_EQ(lookups.FiCode2FiName("-1"), "No Detect");
  EXPECT_EQ(results.FaultNameUS, "");
  EXPECT_THROW(lookups.FiCode2FiName("3"), DbError);
  EXPECT_THROW(lookups.Address2Symbol("1"), DbError);  // "MAIN" without its columns

  lookups.attach(Connection::open(scratch.file("d.mdb")));
  EXPECT_EQ(lookups.FiCode2FiName("3"), "OV");  // 03BitSymbol, trimmed
  EXPECT_EQ(results.FaultNameJP + "|" + results.FaultNameUS, "過電圧|Overvoltage");
  EXPECT_EQ(lookups.FiCode2FiName("12"), "OH");  // 12BitSymbol, first "FI" row of the code
  EXPECT_EQ(results.FaultNameJP + "|" + results.FaultNameUS, "|Overheat");
  EXPECT_EQ(lookups.FiCode2FiName("5"), "No Data");
  EXPECT_EQ(results.FaultNameUS, "");
  EXPECT_EQ(lookups.FiCode2FiName("7"), "No Data");   // word missing from "MainBIT"
  EXPECT_EQ(lookups.FiCode2FiName("8"), "No Data");   // bit 16 has no columns
  EXPECT_EQ(lookups.FiCode2FiName("9"), "No Data");   // no bit at all
  EXPECT_EQ(lookups.FiCode2FiName(""), "No Data");

  lookups.detach();
  EXPECT_THROW(lookups.FiCode2FiName("3"), DbError);
}

TEST(DriveDbLookups, Hex2DecGivesUnsignedDecimal) {
  const std::pair<const char*, const char*> cases[] = {
      {"8000", "32768"}, {"FFFF", "65535"}, {"ffff", "65535"}, {"10000", "65536"}, {"7FFFFFFF", "2147483647"},
      {"80000000", "2147483648"}, {"FFFFFFFF", "4294967295"}, {"0", "0"}, {"", "0"}, {"12G4", "0"},
      {"1FFFFFFFF", "4294967295"}};
  for (const auto& [hex, decimal] : cases) EXPECT_EQ(Hex2Dec(hex), decimal) << hex;
  EXPECT_EQ(AddressKey("1a2b"), "00001A2B");
  EXPECT_EQ(AddressKey("0012AB0F99"), "12AB0F99");
  EXPECT_EQ(AddressKey(""), "0000000");
}
