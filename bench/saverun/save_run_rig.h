#pragma once
// A save run for the benchmarks: the main window's run from Start to its end over a given
// exchange, in process against a drive model or over UDP against the simulated drive on
// 127.0.0.1, with its wall and process CPU time.
#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "drivesim/simulated_drive.h"
#include "quillon/requests/exchange.h"

namespace bench {

struct Layout {
  const char* name;
  int level, minor;
  const char* driveType;
  std::array<int, 5> depth;         // units of 64 samples
  std::array<int, 5> signalCounts;
  int recordedBanks;
};

enum class RunScope {
  TraceBack,  // identity and trace-back banks as CSV sets; no record steps, conversion or archive
  Whole,      // as the program binds it: records, conversion with the drive database, archive
};

struct RunFigures {
  bool completed = false;
  std::uint64_t exchanges = 0;  // datagrams sent, re-sends included
  double seconds = 0;
  double cpuSeconds = 0;        // the whole process: tool and simulated drive
  double exchangeSeconds = 0;   // inside the exchanges, from each send to the end of its wait
  double driveDelaySeconds = 0; // the simulated drive's delayed replies: receipt to send, all added
  std::string problem;          // why it did not complete
  // Per step that ran, in run order: its wall time and the part of it outside the exchanges.
  struct Step {
    const char* caption = "";
    double seconds = 0;
    double outsideSeconds = 0;
  };
  std::vector<Step> steps;
};

// The time spent inside the exchanges so far; none when the exchange does not keep it.
using ExchangeClock = std::function<std::chrono::nanoseconds()>;

// A registration store of the benchmark's own for its lifetime, so that the control module of
// this build is registered and loaded, not whichever one the user's store names.
class OwnRegistrationStore {
 public:
  OwnRegistrationStore();
  ~OwnRegistrationStore();
  OwnRegistrationStore(const OwnRegistrationStore&) = delete;
  OwnRegistrationStore& operator=(const OwnRegistrationStore&) = delete;

 private:
  std::filesystem::path root_;
};

// Process CPU time (all threads) so far.
double ProcessCpuSeconds();

drivesim::DriveOptions DriveOptionsOf(const Layout& layout);

// One save run over `exchange` from a fresh documents folder.
RunFigures SaveRun(quillon::Exchange& exchange, const std::filesystem::path& documents, RunScope scope,
                   const ExchangeClock& exchangeTime = {});

// The simulated drive of `layout` on 127.0.0.1 (with `misbehaviour`), the live exchange over the
// Velkor control towards it, and one save run.
RunFigures SaveRunOverLoopback(const Layout& layout, const std::filesystem::path& documents, RunScope scope,
                               drivesim::Misbehaviour misbehaviour = {});

// Quickest and median of a few figures.
struct Spread {
  double quickest = 0;
  double median = 0;
};
Spread SpreadOf(std::vector<double> values);

}  // namespace bench
