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
using quillon_test::SimulatedExchange;

namespace {

std::string hex(const char* format, std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

struct Variant {
  void (SignalAddressRequests::*addresses)(std::uint8_t&);
  void (SampleRequests::*samples)(std::uint8_t&, int);
};
const Variant kNarrow16{&SignalAddressRequests::ReadSignalAddresses16, &SampleRequests::ReadBankSamples16};
const Variant kBlock32{&SignalAddressRequests::ReadSignalAddresses32, &SampleRequests::ReadBankSamples32};
const Variant kWide32{&SignalAddressRequests::ReadSignalAddresses32Wide, &SampleRequests::ReadBankSamples32Wide};

// One recorded bank read as the save run reads it; checked against the profile.
void readAndCheckBank(const drivesim::DriveProfile& drive, const Variant& variant) {
  SimulatedExchange sim(drive);
  ScriptedExchange& exchange = sim.exchange;
  DriveIdentity identity;
  TraceBackTables tables;
  ProgressBar progress;

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
  (addresses.*variant.addresses)(bank);
  (samples.*variant.samples)(bank, 1);
  records.ReadBankFaults1(bank);
  records.ReadBankFaults2(bank);
  records.ReadBankVersion(bank);
  ASSERT_FALSE(exchange.state().AbortFlag) << exchange.state().ErrorText;

  for (int g = 1; g <= 5; ++g) {
    EXPECT_EQ(tables.GroupSampling[g], drive.groupSampling(bank, g));
    EXPECT_EQ(tables.GroupFaultIndex[g], drive.groupFaultIndex(bank, g));
  }
  const bool narrow = &variant == &kNarrow16;
  for (int s = 1; s <= tables.SignalsPerBank; ++s) {
    const std::string expected = narrow ? "&H" + hex("%04X", drive.signalAddress16(bank, s))
                                        : "&H" + hex("%08X", drive.signalAddress32(bank, s));
    EXPECT_EQ(tables.SignalAddress[bank][s], expected) << s;
    const int depth = narrow ? tables.sampleDepth() : drive.groupDepth(drive.groupOfSignal(s)) * kDepthUnitSamples;
    for (int i = 1; i <= tables.sampleDepth(); ++i) {
      if (narrow) ASSERT_EQ(tables.SampleData16.at(s, i), drive.sample16(bank, s, i)) << s << "," << i;
      else ASSERT_EQ(tables.SampleData32.at(s, i), i <= depth ? drive.sample32(bank, s, i) : 0) << s << "," << i;
    }
  }
  for (int e = 1; e <= 30; ++e) {
    EXPECT_EQ(tables.BankFaults[bank][e][1], std::optional<std::int16_t>(drive.faultCode(bank, e))) << e;
    EXPECT_EQ(tables.BankFaults[bank][e][2], std::optional<std::int16_t>(drive.faultSample(bank, e))) << e;
  }
  EXPECT_EQ(tables.BankSoftVersion[bank], drive.bankSoftVersion(bank));
  EXPECT_GE(progress.scaleWidth(), 359);
  EXPECT_LE(progress.scaleWidth(), 360);
}

}  // namespace

TEST(SimulatedDriveRequests, EachVariantDecodesWhatTheDriveHolds) {
  drivesim::DriveOptions narrow;
  narrow.interfaceLevel = 4;
  narrow.driveType = "RX-Ardo";
  readAndCheckBank(drivesim::DriveProfile(narrow), kNarrow16);

  drivesim::DriveOptions block;
  block.interfaceMinor = 1;
  block.driveType = "RX-Brin";
  readAndCheckBank(drivesim::DriveProfile(block), kBlock32);

  readAndCheckBank(drivesim::DriveProfile(), kWide32);
}

TEST(SimulatedDriveRequests, MisbehavingDriveEndsTheRunWithAMessage) {
  drivesim::Misbehaviour misbehaviour;
  misbehaviour.oversizedLayout = true;
  SimulatedExchange oversized(drivesim::DriveProfile(), misbehaviour);
  TraceBackTables tables;
  GroupRequests(oversized.exchange, tables).ReadGroupLayout();
  EXPECT_TRUE(oversized.exchange.state().AbortFlag);
  EXPECT_NE(oversized.exchange.state().ErrorText.find("more than 255"), std::string::npos);
  EXPECT_EQ(tables.SignalsPerBank, 0);

  misbehaviour = {};
  misbehaviour.nonHexCommand = "MX2";
  SimulatedExchange nonHex(drivesim::DriveProfile(), misbehaviour);
  std::uint8_t bank = 0;
  GroupRequests(nonHex.exchange, tables).ReadGroupSampling(bank);
  EXPECT_TRUE(nonHex.exchange.state().AbortFlag);
  EXPECT_NE(nonHex.exchange.state().ErrorText.find("\"MX200\""), std::string::npos);

  misbehaviour = {};
  misbehaviour.shortCommand = "mzx";
  SimulatedExchange shortReplies(drivesim::DriveProfile(), misbehaviour);
  GroupRequests(shortReplies.exchange, tables).ReadGroupLayout();
  tables.resizeBankTables(6);
  ProgressBar progress;
  SampleRequests(shortReplies.exchange, tables, progress).ReadBankSamples32Wide(bank, 1);
  EXPECT_TRUE(shortReplies.exchange.state().AbortFlag);
  EXPECT_EQ(shortReplies.exchange.sent.size(), 2u);  // "MX1" and the first sample block
  EXPECT_EQ(tables.SampleData32.at(1, 1), 0);
}
