// Figures for the control module: header build and parse, and one loop-back exchange
// through the control (send, notification on the event loop, OnReceive, InputB).
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <random>

#include "tests/velkor/host_support.h"
#include "velkor/control/velkor_ctrl.h"
#include "velkor/framing/framing.h"

namespace fr = velkor::framing;

static void BuildDatagram(benchmark::State& state) {
  const std::vector<std::uint8_t> payload(static_cast<std::size_t>(state.range(0)), 0x41);
  fr::HeaderFields fields;
  for (auto _ : state) benchmark::DoNotOptimize(fr::buildDatagram(fields, payload, fr::ByteOrders{}));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BuildDatagram)->Arg(5)->Arg(246);

static void DecodeDatagram(benchmark::State& state) {
  std::mt19937 rng(1);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(state.range(0)));
  for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
  for (auto _ : state) benchmark::DoNotOptimize(fr::decodeDatagram(bytes, fr::ByteOrders{true, false}));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(DecodeDatagram)->Arg(12)->Arg(266);

static void LoopBackExchange(benchmark::State& state) {
  testhost::ensureApplication();
  velkor::CVelkorCtrl control;
  testhost::EventRecorder events;
  control.advise(&events);
  const auto port = static_cast<std::int32_t>(testhost::freePort());
  control.put("DestIp", "127.0.0.1");
  control.put("DestPort", port);
  control.put("MyPort", port);
  control.put("LoopBackMode", true);
  control.put("PortOpen", true);
  const platform::automation::Variant request = platform::automation::Variant::bytes({'M', 'X', '2', '0', '3'});
  for (auto _ : state) {
    const int before = events.receives;
    control.put("Output", request);
    testhost::runUntil([&] { return events.receives > before; });
    platform::automation::Variant reply;
    control.get("InputB", reply);
    benchmark::DoNotOptimize(reply);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(LoopBackExchange)->UseRealTime();

BENCHMARK_MAIN();
