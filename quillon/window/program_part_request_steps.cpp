// The save run's drive steps over the request routines and their tables, with `SaveTrb_mdb`
// (which falls back to the CSV set) for each bank.
#include "quillon/database/trace_workbook.h"
#include "quillon/output/trb_csv_set.h"
#include "quillon/requests/identity_requests.h"
#include "quillon/requests/trace_back_requests.h"
#include "quillon/window/program_parts.h"

namespace quillon {
namespace {

class RequestSteps : public DriveSteps {
 public:
  RequestSteps(Exchange& exchange, ProgressBar bar, std::function<DriveStepsSettings()> settings)
      : exchange_(exchange), progress_(std::move(bar), ProgressAccumulator), settings_(std::move(settings)) {}

  void startUp() override {
    tables_.BankCount = kDefaultBankCount;
    tables_.clearGroups();
  }
  void beginRun() override { tables_.clearGroups(); }

  void connect() override {
    identityRequests_.ReadInterfaceVersion();
    identityRequests_.ReadDriveType();
  }
  void readDriveInformation() override {
    identityRequests_.ReadDriveSoftVersion();
    identityRequests_.ReadOrderNumber1();
    identityRequests_.ReadOrderNumber2();
    identityRequests_.ReadPanelName();
    identityRequests_.ReadRatings();
  }
  void readGroupLayout() override { groups_.ReadGroupLayout(); }
  void resizeBankTime() override { tables_.resizeBankTime(); }
  void readBankTime(std::uint8_t bank) override { records_.ReadBankTime(bank); }
  void readBankHeader(std::uint8_t bank) override {
    groups_.ReadGroupSampling(bank);
    groups_.ReadGroupFaultIndex(bank);
  }
  void resizeBankTables() override { tables_.resizeBankTables(identity_.InterfaceLevel); }
  void readBankSignals(std::uint8_t bank, SampleVariant variant, int validBankCount) override {
    switch (variant) {
      case SampleVariant::Narrow16:
        addresses_.ReadSignalAddresses16(bank);
        samples_.ReadBankSamples16(bank, validBankCount);
        break;
      case SampleVariant::Wide32:
        addresses_.ReadSignalAddresses32Wide(bank);
        samples_.ReadBankSamples32Wide(bank, validBankCount);
        break;
      case SampleVariant::Block32:
        addresses_.ReadSignalAddresses32(bank);
        samples_.ReadBankSamples32(bank, validBankCount);
        break;
    }
  }
  void readBankFaultsAndVersion(std::uint8_t bank) override {
    records_.ReadBankFaults1(bank);
    records_.ReadBankFaults2(bank);
    records_.ReadBankVersion(bank);
  }
  void saveBank(std::uint8_t bank) override;

  int bankCount() const override { return tables_.BankCount; }
  int interfaceLevel() const override { return identity_.InterfaceLevel; }
  int interfaceMinor() const override { return identity_.InterfaceMinor; }
  std::string driveType() const override { return identity_.DriveType; }
  std::string panelName() const override { return identity_.PanelName; }
  std::vector<std::string> bankTimeRow(int bank) const override {
    const BankTimeRow& row = tables_.bankTime(bank);
    return {row.begin(), row.end()};
  }

  SaveRunTables tables() {
    SaveRunTables t;
    t.identity = &identity_;
    t.traceBack = &tables_;
    t.databases = &databases_;
    return t;
  }

 private:
  TraceBankInput bankInput(std::uint8_t bank, const DriveStepsSettings& settings) const;

  Exchange& exchange_;
  DriveIdentity identity_;
  TraceBackTables tables_;
  double ProgressAccumulator = 0;  // the window's; not cleared by a run or by Reset
  ProgressStep progress_;
  std::function<DriveStepsSettings()> settings_;
  IdentityRequests identityRequests_{exchange_, identity_};
  GroupRequests groups_{exchange_, tables_};
  SignalAddressRequests addresses_{exchange_, tables_};
  SampleRequests samples_{exchange_, tables_, progress_};
  BankRecordRequests records_{exchange_, tables_};
  DatabaseState databases_;
};

TraceBankInput RequestSteps::bankInput(std::uint8_t bank, const DriveStepsSettings& settings) const {
  const DriveIdentity& id = identity_;
  const TraceBackTables& t = tables_;
  TraceBankInput in;
  in.DriveType = id.DriveType;
  in.PanelName = id.PanelName;
  in.SafePanelName = settings.SafePanelName;
  in.OrderNumber1 = id.OrderNumber1;
  in.OrderNumber2 = id.OrderNumber2;
  in.InverterVoltage = id.InverterVoltage;
  in.InverterCurrent = id.InverterCurrent;
  in.InverterCapacity = id.InverterCapacity;
  in.MotorOutput = id.MotorOutput;
  in.MotorPoles = id.MotorPoles;
  in.MotorVoltage = id.MotorVoltage;
  in.MotorCurrent = id.MotorCurrent;
  in.MotorFrequency = id.MotorFrequency;
  in.MotorSpeed = id.MotorSpeed;
  in.InterfaceLevel = id.InterfaceLevel;

  if (bank < t.BankSoftVersion.size()) in.BankSoftVersion = t.BankSoftVersion[bank];
  const BankTimeRow& time = t.bankTime(bank);
  std::copy(time.begin(), time.end(), in.BankTime.begin());
  if (bank < t.BankFaults.size()) {
    for (int e = 1; e < kBankFaultEntries; ++e) {
      const auto& entry = t.BankFaults[bank][e];
      if (entry[1]) in.BankFaults[e].code = *entry[1];
      if (entry[2]) in.BankFaults[e].detectedSample = *entry[2];
    }
  }
  for (int g = 0; g < kGroupCount; ++g) in.GroupDepth[g] = t.GroupDepth[g];
  for (int g = 1; g <= kGroupCount; ++g) {
    in.GroupSignals[g] = t.GroupSignals[g];
    in.GroupFaultIndex[g] = t.GroupFaultIndex[g];
    in.GroupSampling[g] = t.GroupSampling[g];
  }
  in.MaxGroupDepth = t.MaxGroupDepth;
  in.SignalsPerBank = t.SignalsPerBank;
  in.SignalAddress.resize(static_cast<std::size_t>(t.SignalsPerBank) + 1);
  for (int s = 1; s <= t.SignalsPerBank; ++s) in.SignalAddress[s] = t.signalAddress(bank, s);
  in.Sample16 = [&t](int signal, int sample) { return t.SampleData16.at(signal, sample); };
  in.Sample32 = [&t](int signal, int sample) { return t.SampleData32.at(signal, sample); };
  return in;
}

void RequestSteps::saveBank(std::uint8_t bank) {
  const DriveStepsSettings settings = settings_();
  WorkbookSettings workbook;
  workbook.search.dataFolder = settings.AppFolder;
  workbook.search.installRoot = settings.installRoot;
  workbook.search.programFolder = settings.templateFolder;
  workbook.AppFolder = settings.AppFolder;
  workbook.templateFolder = settings.templateFolder;
  workbook.CommandLine = settings.CommandLine;
  workbook.WriteTrbCsvSet = [&](std::uint8_t csvBank) {
    const TrbCsvInputs inputs{settings.AppFolder, settings.SafePanelName, &identity_, &tables_};
    if (const std::string failure = WriteTrbCsvSet(inputs, csvBank); !failure.empty())
      exchange_.state().abortWith(failure);
  };
  SaveTrb_mdb(bank, bankInput(bank, settings), workbook, databases_, exchange_.state());
}

}  // namespace

std::unique_ptr<DriveSteps> MakeRequestSteps(Exchange& exchange, ProgressBar progress,
                                             std::function<DriveStepsSettings()> settings) {
  return std::make_unique<RequestSteps>(exchange, std::move(progress), std::move(settings));
}

SaveRunTables RequestStepsTables(DriveSteps& steps) {
  if (auto* requestSteps = dynamic_cast<RequestSteps*>(&steps)) return requestSteps->tables();
  return {};
}

}  // namespace quillon
