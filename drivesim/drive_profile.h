#pragma once
// One generated drive: identity, ratings, group layout, eight banks with times, fault lists,
// signal addresses and samples, and the stored database archive. Everything is a pure function
// of the options, so a test can ask the profile what a request routine should have decoded.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "drivesim/record_images.h"
#include "platform/shell/codepage.h"

namespace drivesim {

inline constexpr int kBankCount = 8;
inline constexpr int kGroupCount = 5;
inline constexpr int kFaultEntries = 30;

// The drive's software version; the simulated drive database is built under this name.
inline constexpr const char* kSoftVersion = "SIM01.00";

struct Ratings {
  std::uint32_t inverterVoltage = 0x01B8;  // V
  std::uint32_t inverterCurrent = 0x000C8; // 0.1 A
  std::uint32_t inverterCapacity = 0x0005DC;  // 0.1 kVA
  std::uint32_t motorVoltage = 0x0190;     // V
  std::uint32_t motorCurrent = 0x000B4;    // 0.1 A
  std::uint32_t motorPoles = 0x04;
  std::uint32_t motorSpeed = 0x0464C;      // 0.1 min-1, 20-bit; 0xF0001 and up are negative
  std::uint32_t motorOutput = 0x00005A;    // 0.1 kW
  std::uint32_t motorFrequency = 0x1F4;    // 0.1 Hz
};

// The time stamp of the k-th new fault (from 1): a minute after the one before, in December
// 2026, later than every bank a drive is set up with.
TimeStamp NewFaultTime(int k);

struct DriveOptions {
  std::string driveType = "RX-Fenn";
  int interfaceLevel = 6;  // 0-9; 6 or more: the 32-bit request set
  int interfaceMinor = 2;  // 0-999
  // The firmware version ("Q2" and every bank's version); another one than the built drive
  // database's name makes the tool save CSV sets instead of workbooks.
  std::string softVersion = kSoftVersion;
  std::array<std::uint8_t, kGroupCount> groupDepth = {2, 4, 1, 0, 1};    // units of 64 samples
  std::array<std::uint8_t, kGroupCount> groupSignals = {4, 3, 2, 0, 1};  // signals per group
  std::vector<int> recordedBanks = {0, 2, 5};
  // The drive's stored database archive ("FB"/"FR"); none: the drive reports an erased area.
  std::optional<std::vector<std::uint8_t>> archive;
  // Texts as the drive's users typed them (UTF-8 here); the drive sends them in `codePage`.
  std::string orderNumber1 = "RXF-4055-A";
  std::string orderNumber2 = "SN 20140611";
  std::string panelName = kDefaultPanelName;
  std::string codePage = platform::shell::kDefaultAnsiCodePage;  // any name platform::shell::CodePage::Named takes
  Ratings ratings;
  // Setting-parameter words and event counters told apart from the generated ones.
  RecordOverrides recordOverrides;
  // Faults recorded since the drive was set up, one after another: each takes the first empty
  // bank, or when none is left the bank with the oldest time stamp, with a time stamp and a
  // fault list of its own.
  int newFaults = 0;
};

// A drive of a Japanese plant: CP932 texts, a panel name whose halves ("QA1", "QA2") split a
// double-byte character, order numbers in full-width and kanji; the drive type stays ASCII, as
// the tool compares it.
DriveOptions JapaneseDrive(DriveOptions options = {});

// The database archive the simulated drive stores unless told otherwise: an LZH archive of its
// product definition ("SIM01.00_RX-Fenn.pdn", for the default drive type) and its drive
// database ("SIM01.00.mdb"), made when the tree is built. DriveOptions{} alone keeps the erased
// area, as a drive without a database does.
std::vector<std::uint8_t> StoredDatabaseArchive();
// `options` with that archive stored.
DriveOptions WithStoredDatabase(DriveOptions options = {});

// Drive `number` (from 1) of a simulated plant: panel name "LINE/<number>" and a drive type
// of its own, the types taken in turn from a list of ones with different memory layouts.
DriveOptions PlantDriveOptions(int number, DriveOptions options = {});

class DriveProfile {
 public:
  explicit DriveProfile(DriveOptions options = {});

  const DriveOptions& options() const { return options_; }
  const std::string& driveType() const { return options_.driveType; }
  int interfaceLevel() const { return options_.interfaceLevel; }
  int interfaceMinor() const { return options_.interfaceMinor; }
  bool uses32BitRequests() const { return options_.interfaceLevel >= 6; }
  // Seven characters: "V", level as two digits, ".", minor as three digits ("V06.002").
  std::string interfaceVersionText() const;
  std::string softVersion() const { return options_.softVersion; }
  // The code page the drive sends its texts in, and a text of the options as sent.
  const platform::shell::CodePage& codePage() const { return codePage_; }
  std::string sentText(const std::string& text) const { return codePage_.toAnsi(text); }
  // The bytes of the panel name in its two halves ("QA1", "QA2"): split in the middle of its
  // bytes, also when that is inside a double-byte character.
  std::string panelNameHalf(int half) const;

  // Group g from 1 to 5.
  std::uint8_t groupDepth(int g) const { return options_.groupDepth[static_cast<std::size_t>(g - 1)]; }
  std::uint8_t groupSignals(int g) const { return options_.groupSignals[static_cast<std::size_t>(g - 1)]; }
  int signalsPerBank() const;  // the plain sum, which may exceed 255 for an oversized layout
  int maxGroupDepth() const;
  int groupOfSignal(int signal) const;  // 1-5, 0 when beyond the layout

  bool bankRecorded(int bank) const;
  // Which of the new faults (1 to newFaults) a bank holds; 0 when it keeps what it was set up with.
  int newFaultInBank(int bank) const { return bankInRange(bank) ? newFaultOfBank_[static_cast<std::size_t>(bank)] : 0; }
  // The bank the latest new fault went into; -1 before the first.
  int latestNewFaultBank() const;
  TimeStamp bankTime(int bank) const;  // all zero (but the year) for an empty bank
  std::int32_t groupSampling(int bank, int g) const;
  std::int16_t groupFaultIndex(int bank, int g) const;
  std::int16_t faultCode(int bank, int entry) const;    // entry 1-30; -1 past the bank's faults
  std::int16_t faultSample(int bank, int entry) const;  // -1 past the bank's faults
  std::string bankSoftVersion(int bank) const { (void)bank; return options_.softVersion; }

  // Signal s from 1; 0 past the layout.
  std::uint16_t signalAddress16(int bank, int signal) const;
  std::uint32_t signalAddress32(int bank, int signal) const;
  // Sample i from 1 of signal s; the drive reports the same function at every depth.
  std::int32_t sample32(int bank, int signal, int index) const;
  std::int16_t sample16(int bank, int signal, int index) const;
  // sample32 of indexes firstIndex, firstIndex + 1, ... into `out`, the same values made a
  // run at a time (a reply's worth of samples is most of what the drive does per request).
  // Signals at float-coded addresses carry IEEE single bits.
  void samples32(int bank, int signal, int firstIndex, std::span<std::int32_t> out) const;
  // The integer wave behind every sample; 16-bit samples are it held to 16 bits.
  void waves(int bank, int signal, int firstIndex, std::span<std::int32_t> out) const;

  // Size the drive reports for "FB" and the bytes it sends for "FR" blocks.
  std::uint32_t archiveSize() const;
  std::uint8_t archiveByte(std::uint32_t offset) const;

  const RecordImages& records() const { return records_; }

 private:
  static bool bankInRange(int bank) { return bank >= 0 && bank < kBankCount; }
  TimeStamp setUpBankTime(int bank) const;

  DriveOptions options_;
  platform::shell::CodePage codePage_;
  std::array<int, kBankCount> newFaultOfBank_{};
  RecordImages records_;
};

}  // namespace drivesim
