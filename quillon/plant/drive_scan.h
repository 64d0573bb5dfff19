#pragma once
// Finding the drives on the networks of this computer: "QT" to the broadcast address of every
// local IPv4 adapter and to 255.255.255.255 (or to one drive's address), every answer caught in
// the capture control's buffer for a while, then each drive that answered asked at its own
// address who it is and which banks hold a record. The scan only reads. It runs in the calling
// thread's event loop (a QCoreApplication is needed) and tells of each drive as it is known.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/shell/codepage.h"
#include "quillon/database/drive_db_location.h"
#include "quillon/requests/drive_identity.h"
#include "quillon/requests/exchange.h"

namespace quillon {

inline constexpr std::chrono::milliseconds kScanWait{1000};
// A silent drive is asked again at this interval, and left after ten ticks.
inline constexpr int kScanTickIntervalMs = 300;

struct ScanOptions {
  std::optional<std::string> drive;  // only this address, no broadcast
  std::uint16_t drivePort = kDrivePort;
  std::chrono::milliseconds wait = kScanWait;  // how long answers to "QT" are collected
  platform::shell::CodePage codePage;          // of the drives' texts
  DriveDbSearch databases;                     // where installed drive databases are looked for
  int tickIntervalMs = kScanTickIntervalMs;
};

struct FoundDrive {
  DriveAddress at;
  DriveIdentity identity;  // texts as the drive sent them
  std::vector<int> recordedBanks;
  std::optional<std::filesystem::path> driveDatabase;  // installed for its type and firmware
  std::string note;  // empty, or what stopped its questions (it fell silent after "QT", refused)
};

// Where the "QT" went, and for which adapter ("127.0.0.1/255.0.0.0"; empty for the others).
struct ScanTarget {
  std::string address;
  std::string adapter;
  std::string problem;  // empty, or why "QT" did not go out there
};

struct ScanEvents {
  std::function<void(const std::vector<ScanTarget>&)> asking;  // before the "QT" goes out
  std::function<void(const FoundDrive&)> found;               // each drive, once asked
  std::function<bool()> cancelled;                             // polled while the scan waits
};

struct ScanResult {
  std::vector<FoundDrive> drives;  // in the order they first answered
  std::vector<ScanTarget> asked;
  std::string error;  // the controls could not be made: nothing was asked
};

ScanResult ScanForDrives(const ScanOptions& options, const ScanEvents& events = {});
// Its first half: who answers "QT", each sender once with its interface version (or a note);
// nobody is asked anything more and `events.found` is not called.
ScanResult FindAnsweringDrives(const ScanOptions& options, const ScanEvents& events = {});

// "127.255.255.255" for "127.0.0.1" with "255.0.0.0"; empty when either is no IPv4 address or
// the mask leaves no broadcast address (a host route).
std::string DirectedBroadcast(const std::string& address, const std::string& mask);

}  // namespace quillon
