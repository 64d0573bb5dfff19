// The request routines against the simulated drive's command model: every reply layout the
// drive gives is decoded into what the drive's profile says it holds.
#include <gtest/gtest.h>

#include <cstdio>

#include "drivesim/command_model.h"
#include "quillon/requests/identity_requests.h"
#include "quillon/requests/trace_back_requests.h"
#include "tests/requests/scripted_exchange.h"

using namespace quillon;
using quillon_test::ScriptedExchange;
using quillon_test::ScriptedReply;

namespace {

void answerFrom(ScriptedExchange& exchange, drivesim::CommandModel& model) {
  exchange.responder = quillon_test::AnswersOf(model);  // the profiles' texts are ASCII
}

std::string hex(const char* format, std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

enum class Variant { Narrow16, Block32, Wide32 };

// One recorded bank read as the save run reads it; checked against the profile.
void readAndCheckBank(const drivesim::DriveProfile& drive, Variant variant) {
  drivesim::CommandModel model(drive);
  ScriptedExchange exchange;
  answerFrom(exchange, model);
  DriveIdentity identity;
  TraceBackTables tables;
  int scale = 0;
  ProgressBar progress;
  progress.setListener([&](int w) { scale = w; });

  IdentityRequests id(exchange, identity);
  id.ReadInterfaceVersion();
  id.ReadDriveType();
  id.ReadPanelName();
  id.ReadRatings();
  GroupRequests(exchange, tables).ReadGroupLayout();
  tables.resizeBankTime();
  BankRecordRequests records(exchange, tables);
  for (std::uint8_t bank = 0; bank < tables.BankCount; ++bank) records.ReadBankTime(bank);
  ASSERT_FALSE(exchange.state().AbortFlag) << exchange.state().ErrorText;

  EXPECT_EQ(identity.InterfaceLevel, drive.interfaceLevel());
  EXPECT_EQ(identity.InterfaceMinor, drive.interfaceMinor());
  EXPECT_EQ(identity.InterfaceVersionText, drive.interfaceVersionText());
  EXPECT_EQ(identity.DriveType, drive.driveType());
  EXPECT_EQ(identity.PanelName, drive.panelNameHalf(1) + drive.panelNameHalf(2));
  EXPECT_EQ(identity.MotorPoles, std::to_string(drive.options().ratings.motorPoles));
  EXPECT_EQ(tables.SignalsPerBank, drive.signalsPerBank());
  EXPECT_EQ(tables.MaxGroupDepth, drive.maxGroupDepth());

  std::uint8_t bank = static_cast<std::uint8_t>(drive.options().recordedBanks.at(1));
  const drivesim::TimeStamp time = drive.bankTime(bank);
  EXPECT_EQ(tables.BankTime[bank][1], std::to_string(2000 + time.year));
  EXPECT_EQ(std::stoi(tables.BankTime[bank][4]), time.hour);
  EXPECT_EQ(std::stoi(tables.BankTime[bank][6]), time.second);

  GroupRequests groups(exchange, tables);
  groups.ReadGroupSampling(bank);
  groups.ReadGroupFaultIndex(bank);
  tables.resizeBankTables(identity.InterfaceLevel);
  SignalAddressRequests addresses(exchange, tables);
  SampleRequests samples(exchange, tables, progress);
  switch (variant) {
    case Variant::Narrow16:
      addresses.ReadSignalAddresses16(bank);
      samples.ReadBankSamples16(bank, 1);
      break;
    case Variant::Block32:
      addresses.ReadSignalAddresses32(bank);
      samples.ReadBankSamples32(bank, 1);
      break;
    case Variant::Wide32:
      addresses.ReadSignalAddresses32Wide(bank);
      samples.ReadBankSamples32Wide(bank, 1);
      break;
  }
  records.ReadBankFaults1(bank);
  records.ReadBankFaults2(bank);
  records.ReadBankVersion(bank);
  ASSERT_FALSE(exchange.state().AbortFlag) << exchange.state().ErrorText;

  for (int g = 1; g <= 5; ++g) {
    EXPECT_EQ(tables.GroupSampling[g], drive.groupSampling(bank, g));
    EXPECT_EQ(tables.GroupFaultIndex[g], drive.groupFaultIndex(bank, g));
  }
  for (int s = 1; s <= tables.SignalsPerBank; ++s) {
    const std::string expected = variant == Variant::Narrow16 ? "&H" + hex("%04X", drive.signalAddress16(bank, s))
                                                              : "&H" + hex("%08X", drive.signalAddress32(bank, s));
    EXPECT_EQ(tables.SignalAddress[bank][s], expected) << s;
    const int depth = variant == Variant::Narrow16 ? tables.sampleDepth()
                                                   : drive.groupDepth(drive.groupOfSignal(s)) * kDepthUnitSamples;
    for (int i = 1; i <= tables.sampleDepth(); ++i) {
      if (variant == Variant::Narrow16)
        ASSERT_EQ(tables.SampleData16.at(s, i), drive.sample16(bank, s, i)) << s << "," << i;
      else
        ASSERT_EQ(tables.SampleData32.at(s, i), i <= depth ? drive.sample32(bank, s, i) : 0) << s << "," << i;
    }
  }
  for (int e = 1; e <= 30; ++e) {
    EXPECT_EQ(tables.BankFaults[bank][e][1], std::optional<std::int16_t>(drive.faultCode(bank, e))) << e;
    EXPECT_EQ(tables.BankFaults[bank][e][2], std::optional<std::int16_t>(drive.faultSample(bank, e))) << e;
  }
  EXPECT_EQ(tables.BankSoftVersion[bank], drive.bankSoftVersion(bank));
  EXPECT_GE(scale, 359);
  EXPECT_LE(scale, 360);
}

}  // namespace

TEST(SimulatedDriveRequests, EachVariantDecodesWhatTheDriveHolds) {
  drivesim::DriveOptions narrow;
  narrow.interfaceLevel = 4;
  narrow.driveType = "RX-Ardo";
  readAndCheckBank(drivesim::DriveProfile(narrow), Variant::Narrow16);

  drivesim::DriveOptions block;
  block.interfaceMinor = 1;
  block.driveType = "RX-Brin";
  readAndCheckBank(drivesim::DriveProfile(block), Variant::Block32);

  readAndCheckBank(drivesim::DriveProfile(), Variant::Wide32);
}

TEST(SimulatedDriveRequests, MisbehavingDriveEndsTheRunWithAMessage) {
  {
    drivesim::Misbehaviour oversized;
    oversized.oversizedLayout = true;
    drivesim::CommandModel model(drivesim::DriveProfile(), oversized);
    ScriptedExchange exchange;
    answerFrom(exchange, model);
    TraceBackTables tables;
    GroupRequests(exchange, tables).ReadGroupLayout();
    EXPECT_TRUE(exchange.state().AbortFlag);
    EXPECT_NE(exchange.state().ErrorText.find("more than 255"), std::string::npos) << exchange.state().ErrorText;
    EXPECT_EQ(tables.SignalsPerBank, 0);
  }
  {
    drivesim::Misbehaviour nonHex;
    nonHex.nonHexCommand = "MX2";
    drivesim::CommandModel model(drivesim::DriveProfile(), nonHex);
    ScriptedExchange exchange;
    answerFrom(exchange, model);
    TraceBackTables tables;
    std::uint8_t bank = 0;
    GroupRequests(exchange, tables).ReadGroupSampling(bank);
    EXPECT_TRUE(exchange.state().AbortFlag);
    EXPECT_NE(exchange.state().ErrorText.find("\"MX200\""), std::string::npos) << exchange.state().ErrorText;
  }
  {
    drivesim::Misbehaviour shortReplies;
    shortReplies.shortCommand = "mzx";
    drivesim::CommandModel model(drivesim::DriveProfile(), shortReplies);
    ScriptedExchange exchange;
    answerFrom(exchange, model);
    TraceBackTables tables;
    GroupRequests(exchange, tables).ReadGroupLayout();
    tables.resizeBankTables(6);
    int scale = 0;
    ProgressBar progress;
    progress.setListener([&](int w) { scale = w; });
    std::uint8_t bank = 0;
    SampleRequests(exchange, tables, progress).ReadBankSamples32Wide(bank, 1);
    EXPECT_TRUE(exchange.state().AbortFlag);
    EXPECT_EQ(exchange.sent.size(), 2u);  // "MX1" and the first sample block
    EXPECT_EQ(tables.SampleData32.at(1, 1), 0);
  }
}
