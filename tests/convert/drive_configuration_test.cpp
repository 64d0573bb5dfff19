// The product definition read back and the drive configuration document written from it.
#include "quillon/convert/drive_configuration.h"

#include <gtest/gtest.h>

#include "quillon/convert/utf16_text.h"
#include "tests/convert/convert_fixture.h"

using namespace quillon;
using namespace quillon_test;

namespace {

const std::string kDefinition =
    "<?xml version=\"1.0\" encoding=\"utf-16\"?>\r\n"
    "<productDefinition product=\"RX-T\">\r\n"
    "  <signal name=\"P_DEC\" displayType=\"Decimal\" address=\"24059004\" group=\"Parameter\" defaultValue=\"9\"/>\r\n"
    "\t<signal name=\"ACC_TIME\" percentType=\"SPEED\" displayType=\"Decimal\" address=\"2405903A\" "
    "group=\"Parameter\" defaultValue=\"100\"/>\r\n"
    "  <signal name=\"LINE_NAME\" displayType=\"String\" address=\"24059040\" group=\"Parameter\"/>\r\n"
    "  <signal name=\"SPD_REF\" displayType=\"Decimal\" address=\"00010000\" group=\"Monitor\"/>\r\n"
    "  <signal name=\"NOTE\" displayType=\"Decimal\" group=\"Parameters\"/>\r\n"
    "  <other name=\"X\"/>\r\n"
    "  <signal name=\"P_FIRST\" displayType=\"Hex\" address=\"24059000\" group=\"Parameter\"/>\r\n";

}  // namespace

TEST(DriveConfiguration, ProductDefinitionRowsAndWhereTheyAreFound) {
  Folder folder;
  DriveDbSearch search{folder.app, folder.scratch.file("opt"), {}};
  ProductDefinition definition;
  EXPECT_EQ(LoadDB(search, "V1.2", "RX-T", definition), -1);

  // The configuration tool's folder, matched without regard to case, is the second place.
  writeFile(folder.scratch.file("opt") / "program files/ardell/stravix/definitions/product definition/v1.2_rx-t.PDN",
            Utf8ToUtf16LeWithMark("<signal name=\"ONLY\" group=\"Parameter\"/>"));
  ASSERT_EQ(LoadDB(search, "V1.2", "RX-T", definition), 1);
  EXPECT_EQ(definition.ProductSignals[1], (ProductSignalRow{"ONLY", "", "", "0"}));

  writeFile(folder.app / "V1.2_RX-T.pdn", Utf8ToUtf16LeWithMark(kDefinition));
  ASSERT_EQ(LoadDB(search, "V1.2", "RX-T", definition), 6);
  const auto& rows = definition.ProductSignals;
  EXPECT_EQ(rows[1], (ProductSignalRow{"P_DEC", "Decimal", "24059004", "9"}));
  EXPECT_EQ(rows[2], (ProductSignalRow{"ACC_TIME", "SPEED", "2405903A", "100"}));  // percentType first
  EXPECT_EQ(rows[3], (ProductSignalRow{"LINE_NAME", "String", "24059040", "0"}));
  EXPECT_EQ(rows[4], (ProductSignalRow{"SPD_REF", "Decimal", "00010000", "V"}));  // no quoted Parameter
  EXPECT_EQ(rows[5], (ProductSignalRow{"NOTE", "Decimal", "", "V"}));
  EXPECT_EQ(rows[6], (ProductSignalRow{"P_FIRST", "Hex", "24059000", "0"}));

  // Names that would leave the folders find nothing.
  EXPECT_EQ(LoadDB(search, "../V1.2", "RX-T", definition), -1);

  // A big-endian file with a mark reads the same.
  std::string bigEndian;
  for (char c : std::string("<signal name=\"B\" group=\"Parameter\"/>")) bigEndian += std::string{'\0', c};
  EXPECT_EQ(Utf16BytesToUtf8("\xFE\xFF" + bigEndian), "<signal name=\"B\" group=\"Parameter\"/>");
}

TEST(DriveConfiguration, CompletionAddsOnlyParametersTheImageLacked) {
  ProductDefinition definition;
  ReadProductSignals(kDefinition, definition);
  // P_FIRST comes last in the file but was collected first: not added again.
  const std::string collected = "<signal value=\"165\" id=\"P_FIRST\"/><signal value=\"7\" id=\"P_DEC\"/>";
  EXPECT_EQ(CompletedSignals(collected, definition),
            collected + "<signal value=\"0\" id=\"ACC_TIME\"/><signal value=\"\" id=\"LINE_NAME\"/>");
  // An id that only starts like a name does not count as that name.
  EXPECT_NE(CompletedSignals("<signal value=\"1\" id=\"P_DEC2\"/>", definition).find("<signal value=\"0\" id=\"P_DEC\"/>"),
            std::string::npos);
}

TEST(DriveConfiguration, DocumentPiecesPathAndUtf16File) {
  SetpointTables tables;
  tables.configurationName = "PNL-7";
  tables.driveModel = "RX-T";
  tables.firmwareVersion = "V1.2";
  tables.toolIp = {127, 0, 0, 1};
  const std::string text = DriveConfigurationText(tables, "<signal value=\"1\" id=\"A\"/>");
  EXPECT_EQ(text,
            "<?xml version=\"1.0\" encoding=\"utf-16\"?><driveConfiguration><driveConfig name=\"PNL-7\" "
            "eeprombank=\"A\" producttype=\"RX-T\" firmwareversion=\"V1.2\" lastchangeddatetime=\"01/01/2014 "
            "00:00\" id=\"DriveFiles:125:\" checksum=\"\"><connectionInfo sourceportnumber=\"22359\" "
            "busnumber=\"0\" stationnumber=\"0\" rioipaddress=\"\" nodenumber=\"0\" rioportnumber=\"0\" "
            "connectiontype=\"Direct\" slotnumber=\"0\" ipaddress=\"127.0.0.1\" unitnumber=\"0\" "
            "secondaryipaddress=\"\" destinationportnumber=\"22360\"/><signals><signal value=\"1\" "
            "id=\"A\"/></signals><changeHistory></changeHistory></driveConfig></driveConfiguration>");

  // Only the file name changes: a folder named with "mdb" is where the workbook is.
  EXPECT_EQ(DriveConfigurationPath("/data/mdbfiles/TRBSAVE/Set_Sram_mdb_20140312_080509.mdb"),
            std::filesystem::path("/data/mdbfiles/TRBSAVE/Set_Sram_drc_20140312_080509.drc"));
  EXPECT_EQ(DriveConfigurationPath("/x/Set_Sram_MDB.mdb"), std::filesystem::path("/x/Set_Sram_MDB.drc"));

  Folder folder;
  const auto file = folder.save / "doc.drc";
  WriteUtf16File(file, "Aé€𝄞");
  EXPECT_EQ(readFile(file), std::string("\xFF\xFE" "A\0" "\xE9\0" "\xAC\x20" "\x34\xD8\x1E\xDD", 12));
  EXPECT_EQ(Utf16BytesToUtf8(readFile(file)), "Aé€𝄞");
  EXPECT_THROW(WriteUtf16File(folder.save / "missing" / "doc.drc", "x"), std::exception);
}
