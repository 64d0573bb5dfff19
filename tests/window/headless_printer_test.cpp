#include "quillon/window/headless_printer.h"

#include <gtest/gtest.h>

#include <sstream>

#include "quillon/run/save_sequence.h"

namespace {
using namespace quillon;

struct Printed {
  explicit Printed(bool terminal) : printer(events, out, err, terminal) {}
  void tell(const RunEvent& event) { events.emit(event); }
  void step(StepId id, StepState state) { tell(StepChanged{id, state}); }
  void download(int lastBlock) {
    step(StepId::DriveDatabase, StepState::Started);
    for (int block = 0; block <= lastBlock; ++block) tell(DatabaseBlockReceived{block, lastBlock});
    step(StepId::DriveDatabase, StepState::Done);
  }

  RunEvents events;
  std::ostringstream out, err;
  HeadlessPrinter printer;
};

TEST(HeadlessPrinter, IntoAFileOneLinePerChangeAndAFewForTheDownload) {
  Printed p(false);
  p.step(StepId::Connect, StepState::Started);
  p.tell(DriveIdentified{"RX-Ardo"});
  p.step(StepId::Connect, StepState::Done);
  p.download(757);
  p.step(StepId::TraceBack, StepState::Started);
  p.tell(BanksCounted{2, false});
  p.tell(BankStarted{0, 1, 2});
  p.tell(ProgressMoved{90, 360});  // no progress into a file
  p.tell(RequestResent{3, 9, "MX200"});
  p.tell(RequestAnswered{"MX200"});
  p.tell(Notice{"Trace-back workbook of bank 2 not written: damaged\r\nThe bank is saved as its CSV set /d/x"});
  p.tell(BankStarted{5, 2, 2});
  p.step(StepId::TraceBack, StepState::Failed);
  p.step(StepId::SettingParameters, StepState::Started);
  for (int block = 0; block <= 103; ++block) p.tell(MemoryBlocksRead{MemoryArea::SettingParameters, block, 103});
  p.step(StepId::SettingParameters, StepState::Cancelled);
  p.step(StepId::DriveStatus, StepState::Skipped);
  p.tell(RunEnded{RunOutcome::Failed, "Received \"NAK\"\r\nTool Error Code = 1Fh", "Receiving Trace Back Data",
                  "/d/Quillon/TRBSAVE", "", true, {"a notice"}});
  EXPECT_EQ(p.out.str(),
            "Connecting to Drive >>\n"
            "DriveType = \"RX-Ardo\"\n"
            "Connecting to Drive Done>\n"
            "Receiving Drive Database >>\n"
            "Receiving Drive Database block 0 / 757\n"
            "Receiving Drive Database block 379 / 757\n"
            "Receiving Drive Database block 757 / 757\n"
            "Receiving Drive Database Done>\n"
            "Receiving Trace Back Data >>\n"
            "2 recorded bank(s)\n"
            "Bank 0 (1 of 2)\n"
            "no answer to \"MX200\": re-send 3 of 9\n"
            "Trace-back workbook of bank 2 not written: damaged\n"
            "The bank is saved as its CSV set /d/x\n"
            "Bank 5 (2 of 2)\n"
            "Receiving Trace Back Data Error>\n"
            "Receiving Setting Parameter >>\n"
            "Setting parameters: block 0 of 103\n"
            "Setting parameters: block 52 of 103\n"
            "Setting parameters: block 103 of 103\n"
            "Receiving Setting Parameter Cancelled>\n"
            "Receiving the drive status Skip>\n");
  // Every closing message goes to the error stream: the failure, its step, the notices, and
  // where the data read so far is.
  EXPECT_EQ(p.err.str(),
            "quillon: Received \"NAK\"\nTool Error Code = 1Fh\nStep: Receiving Trace Back Data\n\na notice\n\n"
            "The data read so far is in /d/Quillon/TRBSAVE\n"
            "(the next Start keeps it as TRBSAVE_<date>_<time>_incomplete)\n");

  // A cancelled run (Ctrl-C) says so, and where its data is.
  Printed c(false);
  c.tell(RunEnded{RunOutcome::Cancelled, "", "", "/d/Quillon/TRBSAVE_20260203_090507.lzh", "/d/Quillon", false, {}});
  EXPECT_EQ(c.err.str(), "quillon: Cancelled\n\nThe data read so far is in /d/Quillon/TRBSAVE_20260203_090507.lzh\n");

  // A transfer that ends early still shows its last block; a completed run without a bank
  // says where the archive is (also on the error stream) and warns.
  Printed q(false);
  q.step(StepId::DriveDatabase, StepState::Started);
  for (int block = 0; block <= 100; ++block) q.tell(DatabaseBlockReceived{block, 757});
  q.step(StepId::DriveDatabase, StepState::Done);
  q.tell(BanksCounted{0, true});
  q.tell(RunEnded{RunOutcome::Completed, "", "", "/d/Quillon/TRBSAVE_20260203_090507.lzh", "/d/Quillon", true, {}});
  EXPECT_EQ(q.out.str(),
            "Receiving Drive Database >>\n"
            "Receiving Drive Database block 0 / 757\n"
            "Receiving Drive Database block 100 / 757\n"
            "Receiving Drive Database Done>\n"
            "Last Fault Only: 0 bank(s)\n"
            "Waring : No Trace Bank Data Received.\n");
  EXPECT_EQ(q.err.str(), "Complete\nTraceback file location = /d/Quillon/TRBSAVE_20260203_090507.lzh\n");
}

TEST(HeadlessPrinter, OnATerminalLiveLinesEndOnTheirFinalCount) {
  Printed p(true);
  p.step(StepId::TraceBack, StepState::Started);
  p.tell(BankStarted{0, 1, 2});
  p.tell(ProgressMoved{90, 360});
  p.tell(RequestResent{1, 9, "MZ20001"});
  p.tell(ProgressMoved{180, 360});
  p.tell(RequestAnswered{"MZ20001"});
  p.tell(BankStarted{5, 2, 2});
  p.tell(ProgressMoved{360, 360});
  p.step(StepId::TraceBack, StepState::Done);
  EXPECT_EQ(p.out.str(),
            "Receiving Trace Back Data >>\n"
            "\r\033[KBank 0 (1 of 2)  0%"
            "\r\033[KBank 0 (1 of 2)  25%"
            "\r\033[KBank 0 (1 of 2)  25%  (no answer to \"MZ20001\": re-send 1 of 9)"
            "\r\033[KBank 0 (1 of 2)  50%  (no answer to \"MZ20001\": re-send 1 of 9)"
            "\r\033[KBank 0 (1 of 2)  50%"  // answered: the note goes
            "\r\033[KBank 0 (1 of 2)  50%\n"
            "\r\033[KBank 5 (2 of 2)  50%"
            "\r\033[KBank 5 (2 of 2)  100%"
            "\r\033[KBank 5 (2 of 2)  100%\n"
            "Receiving Trace Back Data Done>\n");

  // The download is one line rewritten in place, however many blocks.
  Printed d(true);
  d.download(757);
  const std::string text = d.out.str();
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);
  EXPECT_NE(text.find("\r\033[KReceiving Drive Database block 757 / 757  0%\n"), std::string::npos) << text;

  // So is a memory read, without the bar's percentage, which belongs to the banks.
  Printed m(true);
  for (int block = 0; block <= 17; ++block) m.tell(MemoryBlocksRead{MemoryArea::EventLog, block, 17});
  m.step(StepId::SettingFiles, StepState::Done);
  EXPECT_EQ(m.out.str().substr(m.out.str().rfind("\r\033[K")),
            "\r\033[KEvent log: block 17 of 17\nWriting the setting parameters and event log Done>\n");
}

}  // namespace
