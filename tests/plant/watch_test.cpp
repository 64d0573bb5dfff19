// The watch's state file: whole or absent, and what it tells is not saved yet.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>

#include "quillon/plant/watch_state.h"

namespace {
namespace fs = std::filesystem;
using namespace quillon::plant;

TEST(Watch, StateFileIsWholeOrAbsentAndTellsTheUnsavedBanks) {
  QTemporaryDir dir;
  const fs::path folder = dir.path().toStdString();
  std::string problem;
  EXPECT_FALSE(ReadWatchState(folder, problem));
  EXPECT_TRUE(problem.empty());
  WatchState state{"127.0.0.2:22359", {"2014/01/03 09:07:59", "", "2016/03/09 13:17:47"}};
  ASSERT_EQ(WriteWatchState(folder, state), "");
  const auto read = ReadWatchState(folder, problem);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->address, state.address);
  EXPECT_EQ(read->saved, state.saved);
  BankStamps now = state.saved;
  now[1] = "2026/12/01 00:01:00";  // a new fault in an empty bank
  now[2] = "";                     // a bank cleared is nothing to save
  EXPECT_EQ(UnsavedBanks(now, state.saved), (std::array<bool, 8>{false, true, false, false, false, false, false, false}));
  // A file cut short is damaged, not taken for a state.
  fs::resize_file(folder / kWatchStateFileName, 40);
  EXPECT_FALSE(ReadWatchState(folder, problem));
  EXPECT_NE(problem.find("damaged"), std::string::npos);
}

}  // namespace
