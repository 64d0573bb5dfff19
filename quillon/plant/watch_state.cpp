#include "quillon/plant/watch_state.h"

#include <fstream>
#include <sstream>

#include "platform/shell/complete_file.h"

namespace quillon::plant {

namespace {

constexpr const char* kFirstLine = "quillon watch state 1";

// "bank N" or "bank N STAMP".
bool readBankLine(const std::string& line, BankStamps& saved) {
  if (line.size() < 6 || line.compare(0, 5, "bank ") != 0 || line[5] < '0' || line[5] >= '0' + kWatchedBanks)
    return false;
  if (line.size() > 6 && line[6] != ' ') return false;
  saved[static_cast<std::size_t>(line[5] - '0')] = line.size() > 7 ? line.substr(7) : std::string();
  return true;
}

}  // namespace

std::optional<WatchState> ReadWatchState(const std::filesystem::path& programFolder, std::string& problem) {
  problem.clear();
  const std::filesystem::path file = programFolder / kWatchStateFileName;
  std::error_code ec;
  if (!std::filesystem::exists(file, ec)) return std::nullopt;
  std::ifstream in(file);
  std::string line;
  WatchState state;
  int banks = 0;
  bool ended = false;
  if (!in || !std::getline(in, line) || line != kFirstLine) {
    problem = file.string() + " is not a state file of the watch";
    return std::nullopt;
  }
  while (std::getline(in, line)) {
    if (line.starts_with("address ")) state.address = line.substr(8);
    else if (line == "end") ended = true;
    else if (readBankLine(line, state.saved)) ++banks;
    else break;
  }
  if (!ended || banks != kWatchedBanks || state.address.empty()) {
    problem = file.string() + " is damaged";
    return std::nullopt;
  }
  return state;
}

std::string WriteWatchState(const std::filesystem::path& programFolder, const WatchState& state) {
  std::ostringstream text;
  text << kFirstLine << "\naddress " << state.address << "\n";
  for (int bank = 0; bank < kWatchedBanks; ++bank) {
    const std::string& stamp = state.saved[static_cast<std::size_t>(bank)];
    text << "bank " << bank << (stamp.empty() ? "" : " " + stamp) << "\n";
  }
  text << "end\n";
  return platform::shell::WriteFileCompletely(programFolder / kWatchStateFileName, text.str());
}

std::array<bool, kWatchedBanks> UnsavedBanks(const BankStamps& now, const BankStamps& saved) {
  std::array<bool, kWatchedBanks> unsaved{};
  for (std::size_t bank = 0; bank < unsaved.size(); ++bank) unsaved[bank] = !now[bank].empty() && now[bank] != saved[bank];
  return unsaved;
}

}  // namespace quillon::plant
