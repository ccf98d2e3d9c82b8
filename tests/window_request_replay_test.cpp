// The message-window request on Windows under bad input. First the fuzz
// corpora of the batch walk and the write handlers replayed: every stored
// input, as the batch of a named mapping of exactly its size, goes to the
// plugin's window. Then a mutation fuzzer, since libFuzzer has no Windows
// build here: corpus inputs mutated (bits, bytes, record ids, offsets and
// sizes, inserted, cut and spliced pieces) and sent in every shape a client
// can send a request (a mapping of the batch's size, smaller, larger or of
// a whole local batch, an atom naming nothing, an atom of any value). Each
// request is answered 0 or 1, never hangs, and the window still serves a
// good batch afterwards.
//
// TARVOS_WINDOW_FUZZ_RUNS sets the number of mutated requests (default
// 2000) and TARVOS_WINDOW_FUZZ_SEED the first seed, for long runs by hand.
// An input that fails or crashes is written to window-fuzz-failure.bin.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "offsets/coding.h"
#include "tests/support/raw_local.h"
#include "tests/transport_harness.h"
#include "transport/request_batch.h"

namespace tarvos::testing {
namespace {

namespace fs = std::filesystem;

// The source folder as Windows sees it (the build passes the host's path).
fs::path SourceDir() {
  std::string path = TARVOS_SOURCE_DIR;
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  return fs::path(path);
}

struct Input {
  std::string name;
  Buf bytes;
};

std::vector<Input> Corpora() {
  std::vector<Input> inputs;
  for (const char* corpus : {"batch_fuzz", "handlers_fuzz"}) {
    const fs::path dir = SourceDir() / "fuzz" / "corpus" / corpus;
    if (!fs::is_directory(dir)) continue;
    for (const fs::directory_entry& e : fs::directory_iterator(dir)) {
      std::ifstream in(e.path(), std::ios::binary);
      Buf batch((std::istreambuf_iterator<char>(in)),
                std::istreambuf_iterator<char>());
      if (batch.empty()) batch.push_back(0);
      inputs.push_back({e.path().filename().string(), std::move(batch)});
    }
  }
  return inputs;
}

// The window still serves a good batch, with the worked example's bytes.
void ExpectGoodBatchServed(const std::string& endpoint) {
  Buf good = Cat({ReadRecord(0x3304, 4), End()});
  ASSERT_EQ(RawLocalRequest(endpoint, &good), 1);
  EXPECT_EQ(Buf(good.begin() + 16, good.begin() + 20), (Buf{0x04, 0, 0, 0x50}));
}

class WindowRequestReplayTest : public TransportFixture {};

TEST_F(WindowRequestReplayTest, CorporaAreAnsweredAndTheWindowKeepsServing) {
  StartServers();
  const std::vector<Input> inputs = Corpora();
  ASSERT_GT(inputs.size(), 100u);
  for (const Input& input : inputs) {
    Buf batch = input.bytes;
    const int answer = RawLocalRequest(endpoint_, &batch);
    EXPECT_TRUE(answer == 0 || answer == 1)
        << input.name << " answered " << answer;
  }
  ExpectGoodBatchServed(endpoint_);
}

// xorshift64*: the same seed gives the same run, so a failure repeats.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed ? seed : 0x9E3779B97F4A7C15u) {}
  uint64_t Next() {
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return state_ * 0x2545F4914F6CDD1Du;
  }
  size_t Below(size_t n) { return n == 0 ? 0 : Next() % n; }
  bool OneIn(size_t n) { return Below(n) == 0; }

 private:
  uint64_t state_;
};

void Mutate(Random& r, const std::vector<Input>& inputs, Buf& b) {
  static const uint32_t kWords[] = {
      kRecordEnd, kRecordRead, kRecordWrite, kRecordWideRead, 3,      5,
      0x3304,     0xFFFF,      0x10000,      0x7F00,          0x7FFF, 0x8000,
      0xFFFFFFFF, 0x80000000,  0x7FFFFFFF,   0xFFF0,          4096,   16,
      20};
  static const uint8_t kBytes[] = {0, 1, 0x7F, 0x80, 0xFE, 0xFF};
  const int count = 1 + static_cast<int>(r.Below(8));
  for (int i = 0; i < count; ++i) {
    if (b.empty()) b.push_back(0);
    switch (r.Below(7)) {
      case 0:
        b[r.Below(b.size())] ^= static_cast<uint8_t>(1u << r.Below(8));
        break;
      case 1:
        b[r.Below(b.size())] = kBytes[r.Below(std::size(kBytes))];
        break;
      case 2: {  // a record id, offset or size where a word is
        if (b.size() < 4) break;
        const size_t at =
            r.OneIn(2) ? r.Below(b.size() / 4) * 4 : r.Below(b.size() - 3);
        StoreU32(b.data() + at, kWords[r.Below(std::size(kWords))]);
        break;
      }
      case 3: {
        const size_t at = r.Below(b.size() + 1);
        Buf piece(1 + r.Below(16));
        for (uint8_t& c : piece) c = static_cast<uint8_t>(r.Next());
        b.insert(b.begin() + static_cast<std::ptrdiff_t>(at), piece.begin(),
                 piece.end());
        break;
      }
      case 4: {
        const size_t at = r.Below(b.size());
        const size_t n = 1 + r.Below(std::min<size_t>(b.size() - at, 32));
        b.erase(b.begin() + static_cast<std::ptrdiff_t>(at),
                b.begin() + static_cast<std::ptrdiff_t>(at + n));
        break;
      }
      case 5: {  // this input's head, another's tail
        const Buf& other = inputs[r.Below(inputs.size())].bytes;
        b.resize(r.Below(b.size() + 1));
        const size_t from = r.Below(other.size());
        b.insert(b.end(), other.begin() + static_cast<std::ptrdiff_t>(from),
                 other.end());
        break;
      }
      case 6:
        b.resize(r.Below(b.size()) + 1);
        break;
    }
  }
  if (b.empty()) b.push_back(0);
}

// One request for `batch` in a shape chosen at random; its answer, -1 for
// none in ten seconds, or -2 when the request could not be made.
int Send(const std::string& endpoint, Random& r, const Buf& batch) {
  static int serial = 0;
  const std::string name =
      "FsasmLib:IPC:fuzz:" + std::to_string(GetCurrentProcessId()) + ":" +
      std::to_string(serial++);
  size_t size = batch.size();
  WPARAM wparam = 0;
  bool make_mapping = true;
  bool make_atom = true;
  switch (r.Below(10)) {
    case 0:  // a mapping smaller than its batch
      size = 1 + r.Below(batch.size());
      break;
    case 1:  // a larger one, the rest left zero
      size = batch.size() + r.Below(0x10000);
      break;
    case 2:  // a whole local batch
      size = std::max<size_t>(batch.size(), 0x7F00);
      break;
    case 3:  // an atom naming nothing
      make_mapping = false;
      break;
    case 4:  // an atom of any value
      make_mapping = false;
      make_atom = false;
      wparam = static_cast<WPARAM>(r.Next() & (r.OneIn(2) ? 0xFFFF : ~0u));
      break;
    default:
      break;
  }
  HANDLE mapping = nullptr;
  if (make_mapping) {
    mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                 0, static_cast<DWORD>(size), name.c_str());
    if (mapping == nullptr) return -2;
    void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0);
    if (view == nullptr) {
      CloseHandle(mapping);
      return -2;
    }
    std::memcpy(view, batch.data(), std::min(size, batch.size()));
    UnmapViewOfFile(view);
  }
  ATOM atom = 0;
  if (make_atom) {
    atom = GlobalAddAtomA(name.c_str());
    wparam = atom;
  }
  DWORD_PTR result = 0;
  const bool answered =
      SendMessageTimeoutA(FindWindowA(endpoint.c_str(), nullptr),
                          RegisterWindowMessageA("FsasmLib:IPC"), wparam, 0,
                          SMTO_BLOCK, 10000, &result) != 0;
  if (atom != 0) GlobalDeleteAtom(atom);
  if (mapping != nullptr) CloseHandle(mapping);
  return answered ? static_cast<int>(result) : -1;
}

// The input a crash happened on, kept for the unhandled-exception filter.
Buf* g_current = nullptr;

void Keep(const Buf& input) {
  if (FILE* f = std::fopen("window-fuzz-failure.bin", "wb")) {
    std::fwrite(input.data(), 1, input.size(), f);
    std::fclose(f);
  }
}

LONG WINAPI KeepOnCrash(EXCEPTION_POINTERS*) {
  if (g_current != nullptr) Keep(*g_current);
  std::fprintf(stderr, "crash: input written to window-fuzz-failure.bin\n");
  return EXCEPTION_CONTINUE_SEARCH;
}

uint64_t FromEnvironment(const char* name, uint64_t fallback) {
  const char* v = std::getenv(name);
  return v != nullptr && *v != 0 ? std::strtoull(v, nullptr, 0) : fallback;
}

TEST_F(WindowRequestReplayTest, MutatedRequestsAreAnsweredAndNeverHang) {
  StartServers();
  const std::vector<Input> inputs = Corpora();
  ASSERT_FALSE(inputs.empty());
  const uint64_t runs = FromEnvironment("TARVOS_WINDOW_FUZZ_RUNS", 2000);
  const uint64_t seed = FromEnvironment("TARVOS_WINDOW_FUZZ_SEED", 1);
  Random r(seed);
  Buf input;
  g_current = &input;
  LPTOP_LEVEL_EXCEPTION_FILTER previous =
      SetUnhandledExceptionFilter(&KeepOnCrash);
  uint64_t answered[2] = {0, 0};
  for (uint64_t run = 0; run < runs; ++run) {
    input = inputs[r.Below(inputs.size())].bytes;
    Mutate(r, inputs, input);
    const int answer = Send(endpoint_, r, input);
    if (answer != 0 && answer != 1) {
      Keep(input);
      ADD_FAILURE() << "run " << run << " (seed " << seed << ") answered "
                    << answer << "; input in window-fuzz-failure.bin";
      break;
    }
    ++answered[answer];
    if (run % 500 == 499) ExpectGoodBatchServed(endpoint_);
  }
  SetUnhandledExceptionFilter(previous);
  g_current = nullptr;
  ExpectGoodBatchServed(endpoint_);
  std::printf("%llu mutated requests from seed %llu: %llu answered 1, %llu 0\n",
              static_cast<unsigned long long>(runs),
              static_cast<unsigned long long>(seed),
              static_cast<unsigned long long>(answered[1]),
              static_cast<unsigned long long>(answered[0]));
}

}  // namespace
}  // namespace tarvos::testing
