// User offsets on the flight loop: one typical read expression, and the
// every-frame refresh of 100 group-1 entries. The hand-written baseline does
// the same host read and arithmetic without the evaluator.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "XPLMDataAccess.h"
#include "simhost/host/host.h"
#include "userconfig/config_loader.h"
#include "userconfig/config_parser.h"
#include "userconfig/expression.h"
#include "userconfig/user_offsets.h"

namespace tarvos {
namespace {

// Frees the tables and the host's temporary system folder.
void Unload() {
  ReleaseUserOffsetConfig();
  std::string folder = simhost::Host::Get().SystemPath();
  if (folder.find("/tarvos-simhost-") != std::string::npos) {
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
  }
}

void LoadTables(const std::string& text) {
  simhost::Host::Get().Reset();
  simhost::Host::Get().DefineFloat("bench/heading", 123.0f);
  for (int i = 0; i < 10; ++i) {
    simhost::Host::Get().DefineFloat("bench/value" + std::to_string(i),
                                     float(i));
  }
  UserTables t = ParseUserOffsetConfig(text);
  ResolveUserReferences(&t);
  InstallUserTables(std::move(t));
}

// Baseline: the same dataref read and scaling written out by hand.
void BM_HandWrittenHeadingScale(benchmark::State& state) {
  LoadTables("");
  XPLMDataRef ref = XPLMFindDataRef("bench/heading");
  for (auto _ : state) {
    double v = double(XPLMGetDataf(ref)) * 65536.0 / 360.0;
    benchmark::DoNotOptimize(v);
  }
  Unload();
}
BENCHMARK(BM_HandWrittenHeadingScale);

void BM_EvaluateTypicalReadExpression(benchmark::State& state) {
  std::string text;
  // Ten datarefs around the one used, so the name search does some work.
  for (int i = 0; i < 10; ++i) {
    text += "Dataref v" + std::to_string(i) + " bench/value" +
            std::to_string(i) + " float\n";
  }
  text += "Dataref hdg bench/heading float\n";
  LoadTables(text);
  TokenList tokens({"$hdg", "65536", "*", "360", "/"});
  for (auto _ : state) {
    double v = EvaluateExpression(tokens.data(), 0, tokens.size(), 0.0);
    benchmark::DoNotOptimize(v);
  }
  Unload();
}
BENCHMARK(BM_EvaluateTypicalReadExpression);

// One frame of callback A's user-offset work: 100 group-1 entries among 200
// (the other 100 in slower groups), each a typical scaled dataref read.
void BM_Group1RefreshOf100Entries(benchmark::State& state) {
  std::string text;
  for (int i = 0; i < 10; ++i) {
    text += "Dataref v" + std::to_string(i) + " bench/value" +
            std::to_string(i) + " float\n";
  }
  char line[128];
  for (int i = 0; i < 200; ++i) {
    std::snprintf(line, sizeof line,
                  "Offset %04X UINT16 %d r $v%d 65536 * 360 /\n",
                  0x6000 + 2 * i, i % 2 == 0 ? 1 : 4, i % 10);
    text += line;
  }
  LoadTables(text);
  for (auto _ : state) RefreshUserOffsetGroup(1);
  state.SetItemsProcessed(state.iterations() * 100);
  Unload();
}
BENCHMARK(BM_Group1RefreshOf100Entries);

// Loading a file of 1000 lines (once per enable; for scale only).
void BM_ParseConfigOf1000Lines(benchmark::State& state) {
  std::string text;
  char line[160];
  for (int i = 0; i < 1000; ++i) {
    std::snprintf(line, sizeof line,
                  "Offset %04X FLOAT64 %d rw $v%d 2 * >v%d @ 2 / # entry %d\n",
                  i, 1 + i % 8, i % 10, i % 10, i);
    text += line;
  }
  for (auto _ : state) benchmark::DoNotOptimize(ParseUserOffsetConfig(text));
}
BENCHMARK(BM_ParseConfigOf1000Lines);

}  // namespace
}  // namespace tarvos

BENCHMARK_MAIN();
