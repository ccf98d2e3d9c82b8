// Reads by name against reads by OFFSET:TYPE, as `tarvos-client read` does
// them: parse the 20 arguments, build the batch, exchange it with the plugin
// over TCP and render the values. The plugin runs enabled in the stand-in
// host in-process. Also the client-side work alone (parse and render, no
// exchange), where a difference would show first.
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "client/connection.h"
#include "client/watch.h"
#include "offsets/catalogue.h"
#include "simhost/host/host.h"
#include "tests/support/linked_plugin.h"
#include "transport/server_options.h"

namespace {

using tarvos::client::RequestBatch;
using tarvos::client::WatchField;

// The same 20 fields both ways.
const std::vector<std::string> kNamed = {
    "position.latitude",        "position.longitude",  "position.altitude",
    "attitude.pitch",           "attitude.bank",       "attitude.heading",
    "speed.indicated_airspeed", "speed.true_airspeed", "speed.ground",
    "speed.vertical",           "autopilot.heading",   "autopilot.altitude",
    "autopilot.vertical_speed", "engine.1.egt",        "engine.2.egt",
    "engine.1.fuel_flow_f64",   "clock.local_text",    "clock.day_of_year",
    "plugin.protocol_version",  "plugin.version",
};
const std::vector<std::string> kTyped = {
    "0x0560:s64", "0x0568:s64",   "0x0570:s64", "0x0578:s32", "0x057C:s32",
    "0x0580:u32", "0x02BC:s32",   "0x02B8:s32", "0x02B4:s32", "0x02C8:s32",
    "0x07CC:u16", "0x07D4:u32",   "0x07F2:s16", "0x08BE:s16", "0x0956:s16",
    "0x0918:f64", "0x0C20:text9", "0x023E:u16", "0x3304:u32", "0x6F03:text8",
};

uint16_t PluginPort() {
  static uint16_t port = [] {
    tarvos::SetTcpServerPort(0);
    tarvos::SetTcpServerLoopbackOnly(true);
    tarvos::SetIpcEndpointName("tarvos-client-bench");
    tarvos::testing::BootLinkedPlugin(/*enable=*/true);
    simhost::Host::Get().StepFrame();  // the deferred start: servers up
    for (int i = 0; i < 500 && tarvos::TcpServerBoundPort() == 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return tarvos::TcpServerBoundPort();
  }();
  return port;
}

std::vector<WatchField> Parse(const std::vector<std::string>& args) {
  std::vector<WatchField> fields;
  for (const std::string& a : args) {
    WatchField f;
    if (!tarvos::client::ParseWatchField(a, &f).empty()) std::abort();
    fields.push_back(f);
  }
  return fields;
}

void Read(benchmark::State& state, const std::vector<std::string>& args,
          bool exchange) {
  std::string error;
  auto c = exchange
               ? tarvos::client::ConnectTcp("127.0.0.1", PluginPort(), &error)
               : nullptr;
  if (exchange && !c) {
    state.SkipWithError(error.c_str());
    return;
  }
  for (auto _ : state) {
    std::vector<WatchField> fields = Parse(args);
    RequestBatch batch;
    tarvos::client::AddWatchReads(fields, batch);
    if (exchange && !c->Exchange(batch, &error)) {
      state.SkipWithError(error.c_str());
      return;
    }
    std::string out = tarvos::client::RenderWatch(fields, batch);
    benchmark::DoNotOptimize(out);
  }
}

void BM_ReadNamed(benchmark::State& s) { Read(s, kNamed, true); }
void BM_ReadTyped(benchmark::State& s) { Read(s, kTyped, true); }
void BM_ClientWorkNamed(benchmark::State& s) { Read(s, kNamed, false); }
void BM_ClientWorkTyped(benchmark::State& s) { Read(s, kTyped, false); }
BENCHMARK(BM_ReadTyped)->Iterations(5000)->UseRealTime();
BENCHMARK(BM_ReadNamed)->Iterations(5000)->UseRealTime();
BENCHMARK(BM_ClientWorkTyped);
BENCHMARK(BM_ClientWorkNamed);

// Lookup of one name in the catalogue, for scale.
void BM_FindCatalogueItem(benchmark::State& state) {
  for (auto _ : state) {
    tarvos::CatalogueItem item = tarvos::FindCatalogueItem("plugin.version");
    benchmark::DoNotOptimize(item);
  }
}
BENCHMARK(BM_FindCatalogueItem);

}  // namespace

BENCHMARK_MAIN();
