// A local client's round trip through the bridge to the plugin (both on
// this machine, over loopback), against the sum of a direct local round trip
// and a direct TCP round trip: what the bridge cannot avoid, since it is a
// local server and a TCP client in one. The three are alternated request by
// request and their medians reported, so load swings affect all alike.
//
// The batch: 10 read records of 10 bytes each, as a panel polling a handful
// of values sends it.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/round_trips.h"
#include "bridge/bridge.h"
#include "client/connection.h"
#include "simhost/host/host.h"
#include "tests/support/linked_plugin.h"
#include "transport/server_options.h"
#include "transport/servers.h"

namespace {

using tarvos::bench::MedianMicros;
using tarvos::bench::TimeOne;

void AddReads(tarvos::client::RequestBatch& b) {
  for (uint32_t offset : tarvos::bench::kPanelOffsets) b.AddRead(offset, 10);
}

void BM_BridgePaired(benchmark::State& state) {
  const std::string endpoint = "tarvos-bench-" + std::to_string(::getpid());
  tarvos::bench::BootPluginWithServers(endpoint);
  tarvos::bridge::BridgeOptions o;
  o.port = tarvos::TcpServerBoundPort();
  o.endpoint = endpoint + "-bridge";
  tarvos::bridge::Bridge bridge(o, [](const std::string&) {});
  std::string error;
  if (!bridge.Start(&error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  for (int i = 0; i < 500 && !bridge.Stats().connected; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  auto local = tarvos::client::ConnectLocal(endpoint, &error);
  auto tcp = tarvos::client::ConnectTcp("127.0.0.1", o.port, &error);
  auto bridged = tarvos::client::ConnectLocal(o.endpoint, &error);
  if (!local || !tcp || !bridged) {
    state.SkipWithError(error.c_str());
    return;
  }
  tarvos::client::RequestBatch batch;
  AddReads(batch);
  std::vector<double> l, t, b;
  for (auto _ : state) {
    l.push_back(TimeOne([&] { local->Exchange(batch, &error); }));
    t.push_back(TimeOne([&] { tcp->Exchange(batch, &error); }));
    b.push_back(TimeOne([&] { bridged->Exchange(batch, &error); }));
  }
  const double ml = MedianMicros(l), mt = MedianMicros(t), mb = MedianMicros(b);
  state.counters["local_us"] = ml;
  state.counters["tcp_us"] = mt;
  state.counters["bridge_us"] = mb;
  state.counters["ratio"] = ml + mt > 0 ? mb / (ml + mt) : 0;
  bridged.reset();
  bridge.Stop();
  simhost::Host::Get().DisablePlugin();
  simhost::Host::Get().StopPlugin();
}
BENCHMARK(BM_BridgePaired)->Iterations(20000)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
