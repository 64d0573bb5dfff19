#pragma once
// What the watch has saved of one drive: the drive's address and each bank's time stamp as the
// last completed save read it. Kept as a small text file in the drive's program folder, written
// completely or not at all, so that a watch killed at any moment finds either the old state or
// the new one, and never saves a fault twice nor forgets one.
#include <array>
#include <filesystem>
#include <optional>
#include <string>

namespace quillon::plant {

inline constexpr int kWatchedBanks = 8;
inline constexpr const char* kWatchStateFileName = "watch-state.txt";

// A bank's time stamp as text, "2026/12/01 00:01:00"; empty for a bank that holds no fault.
using BankStamps = std::array<std::string, kWatchedBanks>;

struct WatchState {
  std::string address;  // "127.0.0.2:22359"
  BankStamps saved;
};

// The state in `programFolder`: nothing when there is none; nothing with `problem` set when the
// file cannot be read or is not one the watch wrote (the drive is then saved as if new).
std::optional<WatchState> ReadWatchState(const std::filesystem::path& programFolder, std::string& problem);
// Empty text, or why the state was not written (the old one stays then).
std::string WriteWatchState(const std::filesystem::path& programFolder, const WatchState& state);

// The banks whose stamp is a fault not yet saved: recorded now and other than the one saved.
std::array<bool, kWatchedBanks> UnsavedBanks(const BankStamps& now, const BankStamps& saved);

}  // namespace quillon::plant
