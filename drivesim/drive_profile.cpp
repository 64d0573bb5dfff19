#include "drivesim/drive_profile.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <numeric>
#include <stdexcept>


namespace drivesim {

namespace {

// The traced-signal addresses the simulated drive database knows (one unknown on purpose).
constexpr std::array<std::uint32_t, 12> kAddresses32 = {0x00010000, 0x00010004, 0x00010008, 0x0001000C,
                                                         0x00010010, 0x00010012, 0x00010014, 0x00010018,
                                                         0x0001001C, 0x0001001D, 0x00010020, 0x0001FFF0};
constexpr std::array<std::uint16_t, 5> kAddresses16 = {0x1000, 0x1002, 0x1004, 0x1006, 0x1FF0};
// Signals the simulated database codes "F": the drive traces them as IEEE single floats.
constexpr std::array<std::uint32_t, 2> kFloatCoded32 = {0x00010008, 0x0001000C};
// Fault codes the database names; 99 has no bit row there.
constexpr std::array<std::int16_t, 6> kFaultCodes = {1, 3, 12, 17, 30, 99};
// Size the drive reports when it holds no archive: its erased area.
constexpr std::uint32_t kErasedArchiveSize = 4 * 62;

// Noise from a multiplicative hash: the top four bits of key times an odd constant.
constexpr std::uint32_t kNoiseMultiplier = 0x9E3779B1u;

// sin over one turn in 4096 steps, as 16.16 fixed point; a phase is a 32-bit fraction of a turn.
class SineTable {
 public:
  SineTable() {
    for (std::size_t i = 0; i < kSteps; ++i)
      values_[i] = static_cast<std::int32_t>(std::lround(std::sin(2 * kPi * static_cast<double>(i) / kSteps) * kOne));
  }
  static std::uint32_t turnsPerRadian(double radians) {
    return static_cast<std::uint32_t>(std::llround(radians / (2 * kPi) * 4294967296.0));
  }
  // amplitude * sin(phase), rounded to the nearest integer.
  std::int32_t scaled(std::uint32_t phase, std::int32_t amplitude) const {
    const std::int64_t product = static_cast<std::int64_t>(values_[phase >> kIndexShift]) * amplitude;
    return static_cast<std::int32_t>((product + kOne / 2) >> kOneBits);
  }

 private:
  static constexpr std::size_t kSteps = 4096;
  static constexpr unsigned kIndexShift = 32 - 12;
  static constexpr int kOneBits = 16;
  static constexpr std::int64_t kOne = std::int64_t{1} << kOneBits;
  static constexpr double kPi = 3.14159265358979323846;
  std::array<std::int32_t, kSteps> values_{};
};

}  // namespace

DriveOptions WithStoredDatabase(DriveOptions options) {
  options.archive = StoredDatabaseArchive();
  return options;
}

DriveOptions PlantDriveOptions(int number, DriveOptions options) {
  // Setting parameters of three memory areas; two of them with an event log as well.
  static constexpr const char* kTypes[] = {"RX-Fenn", "RX-Brin", "RX-Jarn", "RX-Efta", "RX-Kelp", "RX-Mott"};
  constexpr int kTypeCount = static_cast<int>(std::size(kTypes));
  options.driveType = kTypes[((number - 1) % kTypeCount + kTypeCount) % kTypeCount];
  options.panelName = "LINE/" + std::to_string(number);
  return options;
}

DriveOptions JapaneseDrive(DriveOptions options) {
  options.codePage = "CP932";
  // 第3ライン 巻取機: 16 bytes, the halves split ン.
  options.panelName = "\u7B2C3\u30E9\u30A4\u30F3 \u5DFB\u53D6\u6A5F";
  options.orderNumber1 = "\uFF32\uFF38\uFF26\uFF0D\uFF14\uFF10\uFF15\uFF15";  // ＲＸＦ－４０５５
  options.orderNumber2 = "\u88FD\u756A 20140611";                                   // 製番 20140611
  return options;
}

namespace {

platform::shell::CodePage codePageNamed(const std::string& name) {
  std::string why;
  std::optional<platform::shell::CodePage> page = platform::shell::CodePage::Named(name, &why);
  if (!page) throw std::invalid_argument(why);
  return std::move(*page);
}

}  // namespace

namespace {

// Orders time stamps as the drive's clock ran.
std::uint64_t timeKey(const TimeStamp& t) {
  return ((((std::uint64_t{t.year} * 13 + t.month) * 32 + t.day) * 24 + t.hour) * 60 + t.minute) * 60 + t.second;
}

}  // namespace

TimeStamp NewFaultTime(int k) {
  TimeStamp t;
  t.year = 26;
  t.month = 12;
  t.day = static_cast<std::uint8_t>(1 + (k / 1440) % 28);
  t.hour = static_cast<std::uint8_t>((k / 60) % 24);
  t.minute = static_cast<std::uint8_t>(k % 60);
  t.second = 0;
  return t;
}

DriveProfile::DriveProfile(DriveOptions options)
    : options_(std::move(options)),
      codePage_(codePageNamed(options_.codePage)),
      records_(options_.driveType, codePage_.toAnsi(options_.panelName), codePage_.toAnsi(options_.softVersion),
               options_.recordOverrides) {
  for (int k = 1; k <= options_.newFaults; ++k) {
    int target = -1;
    for (int bank = 0; bank < kBankCount && target < 0; ++bank)
      if (!bankRecorded(bank)) target = bank;
    if (target < 0) {
      target = 0;
      for (int bank = 1; bank < kBankCount; ++bank)
        if (timeKey(bankTime(bank)) < timeKey(bankTime(target))) target = bank;
    }
    newFaultOfBank_[static_cast<std::size_t>(target)] = k;
  }
}

int DriveProfile::latestNewFaultBank() const {
  const auto latest = std::max_element(newFaultOfBank_.begin(), newFaultOfBank_.end());
  return *latest == 0 ? -1 : static_cast<int>(latest - newFaultOfBank_.begin());
}

std::string DriveProfile::interfaceVersionText() const {
  char text[16];
  std::snprintf(text, sizeof text, "V%02d.%03d", std::clamp(options_.interfaceLevel, 0, 9),
                std::clamp(options_.interfaceMinor, 0, 999));
  return text;
}

std::string DriveProfile::panelNameHalf(int half) const {
  const std::string name = sentText(options_.panelName);
  const std::size_t split = (name.size() + 1) / 2;
  return half == 1 ? name.substr(0, split) : name.substr(split);
}

int DriveProfile::signalsPerBank() const {
  return std::accumulate(options_.groupSignals.begin(), options_.groupSignals.end(), 0);
}

int DriveProfile::maxGroupDepth() const {
  return *std::max_element(options_.groupDepth.begin(), options_.groupDepth.end());
}

int DriveProfile::groupOfSignal(int signal) const {
  int last = 0;
  for (int g = 1; g <= kGroupCount; ++g) {
    last += groupSignals(g);
    if (signal >= 1 && signal <= last) return g;
  }
  return 0;
}

bool DriveProfile::bankRecorded(int bank) const {
  if (newFaultInBank(bank) > 0) return true;
  return std::find(options_.recordedBanks.begin(), options_.recordedBanks.end(), bank) != options_.recordedBanks.end();
}

TimeStamp DriveProfile::bankTime(int bank) const {
  if (const int k = newFaultInBank(bank); k > 0) return NewFaultTime(k);
  return setUpBankTime(bank);
}

TimeStamp DriveProfile::setUpBankTime(int bank) const {
  TimeStamp t;
  t.year = static_cast<std::uint8_t>(14 + bank);  // an empty bank still carries a year
  t.month = t.day = 0;
  if (!bankRecorded(bank)) return t;
  t.month = static_cast<std::uint8_t>(1 + bank);
  t.day = static_cast<std::uint8_t>(3 + 3 * bank);
  t.hour = static_cast<std::uint8_t>(9 + 2 * bank);
  t.minute = static_cast<std::uint8_t>(5 * bank + 7);
  t.second = static_cast<std::uint8_t>(59 - 6 * bank);
  return t;
}

std::int32_t DriveProfile::groupSampling(int bank, int g) const { return 1000 * g + 10 * bank + 1; }

std::int16_t DriveProfile::groupFaultIndex(int bank, int g) const {
  return static_cast<std::int16_t>(groupDepth(g) * 32 + bank);
}

std::int16_t DriveProfile::faultCode(int bank, int entry) const {
  // A new fault's list starts elsewhere in the codes, so that it differs from the bank's old one.
  const int k = newFaultInBank(bank);
  const int faults = 3 + (bank + k) % 4;
  if (entry < 1 || entry > faults) return -1;
  return kFaultCodes[static_cast<std::size_t>((bank + entry - 1 + k) % static_cast<int>(kFaultCodes.size()))];
}

std::int16_t DriveProfile::faultSample(int bank, int entry) const {
  if (faultCode(bank, entry) == -1) return -1;
  return static_cast<std::int16_t>(10 * entry + bank);
}

std::uint16_t DriveProfile::signalAddress16(int bank, int signal) const {
  (void)bank;
  if (signal < 1 || signal > signalsPerBank()) return 0;
  return kAddresses16[static_cast<std::size_t>((signal - 1) % static_cast<int>(kAddresses16.size()))];
}

std::uint32_t DriveProfile::signalAddress32(int bank, int signal) const {
  (void)bank;
  if (signal < 1 || signal > signalsPerBank()) return 0;
  return kAddresses32[static_cast<std::size_t>((signal - 1) % static_cast<int>(kAddresses32.size()))];
}

// A wave per signal, shifted by bank, with a step at the fault; negative values included.
// Phases are fixed-point turns looked up in a sine table, so that answering a request of 61
// samples costs little more than sending it (the drive's time counts in every round trip).
std::int32_t DriveProfile::sample32(int bank, int signal, int index) const {
  std::int32_t value = 0;
  samples32(bank, signal, index, std::span<std::int32_t>(&value, 1));
  return value;
}

void DriveProfile::samples32(int bank, int signal, int firstIndex, std::span<std::int32_t> out) const {
  waves(bank, signal, firstIndex, out);
  const std::uint32_t address = signalAddress32(bank, signal);
  if (std::find(kFloatCoded32.begin(), kFloatCoded32.end(), address) == kFloatCoded32.end()) return;
  // A float-coded signal carries a tenth of its wave as the float's bit pattern.
  for (std::int32_t& value : out) value = std::bit_cast<std::int32_t>(static_cast<float>(value) / 10.0f);
}

void DriveProfile::waves(int bank, int signal, int firstIndex, std::span<std::int32_t> out) const {
  static const SineTable sine;
  const std::uint32_t step = SineTable::turnsPerRadian(0.05 + 0.01 * signal);
  // Phase and noise key of each index: modulo 2^32, so that adding up a run gives exactly
  // the products of the formula.
  std::uint32_t phase = static_cast<std::uint32_t>(firstIndex) * step +
                        static_cast<std::uint32_t>(bank) * SineTable::turnsPerRadian(1.0);
  std::uint32_t noiseKey = static_cast<std::uint32_t>(bank * 1000003 + signal * 7919 + firstIndex);
  int index = firstIndex;
  for (std::int32_t& value : out) {
    const std::int32_t wave = sine.scaled(phase, 1000 * signal);
    const std::int32_t noise = static_cast<std::int32_t>((noiseKey * kNoiseMultiplier) >> 28) - 8;  // -8 to 7
    value = wave + noise + (index > 32 ? 50 * signal : 0);
    phase += step;
    ++noiseKey;
    ++index;
  }
}

std::int16_t DriveProfile::sample16(int bank, int signal, int index) const {
  std::int32_t value = 0;
  waves(bank, signal, index, std::span<std::int32_t>(&value, 1));
  return static_cast<std::int16_t>(std::clamp(value, -32768, 32767));
}

std::uint32_t DriveProfile::archiveSize() const {
  return options_.archive ? static_cast<std::uint32_t>(options_.archive->size()) : kErasedArchiveSize;
}

std::uint8_t DriveProfile::archiveByte(std::uint32_t offset) const {
  if (!options_.archive) return 0xFF;
  return offset < options_.archive->size() ? (*options_.archive)[offset] : 0;
}

}  // namespace drivesim
