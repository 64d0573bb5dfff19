#pragma once
// What the save run asks of the drive, step by step, and the few results its decisions need.
// The live implementation runs the request routines over the exchange and keeps their tables;
// each step sends nothing once the run is aborted.
#include <cstdint>
#include <string>
#include <vector>

#include "quillon/window/sample_plan.h"

namespace quillon {


class DriveSteps {
 public:
  virtual ~DriveSteps() = default;

  virtual void startUp() = 0;   // `BankCount` 8, the group summary bytes cleared
  virtual void beginRun() = 0;  // group tables and summary bytes cleared

  virtual void connect() = 0;               // "QT", "Q1"
  virtual void readDriveInformation() = 0;  // "Q2", "Q3", "Q4", "QA1"/"QA2", "QU2"
  virtual void readGroupLayout() = 0;       // "MX1"
  virtual void resizeBankTime() = 0;        // banks 0 to `BankCount`, fields 0 to 6
  virtual void readBankTime(std::uint8_t bank) = 0;           // "MY1"
  virtual void readBankHeader(std::uint8_t bank) = 0;         // "MX2", "MX3"
  virtual void resizeBankTables() = 0;                        // one bank's tables, cleared
  virtual void readBankSignals(std::uint8_t bank, SampleVariant variant, int validBankCount) = 0;  // addresses, samples
  virtual void readBankFaultsAndVersion(std::uint8_t bank) = 0;  // "MY51", "MY52", "MV"
  virtual void saveBank(std::uint8_t bank) = 0;                  // `SaveTrb_mdb`

  virtual int bankCount() const = 0;
  virtual int interfaceLevel() const = 0;
  virtual int interfaceMinor() const = 0;
  virtual std::string driveType() const = 0;
  virtual std::string panelName() const = 0;
  virtual std::vector<std::string> bankTimeRow(int bank) const = 0;  // fields 0 to 6
};

}  // namespace quillon
