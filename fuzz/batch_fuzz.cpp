// Arbitrary batches for ServeRequestBatch, against a started and enabled
// plugin in the stand-in host (reference tables filled, so reads and writes
// reach the real refresh and write handlers). The walk must stay inside the
// batch and the offset space whatever the records claim.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "simhost/host/host.h"
#include "tests/support/linked_plugin.h"
#include "transport/request_batch.h"

namespace {

void StartPluginOnce() {
  static bool done = false;
  if (done) return;
  done = true;
  // Enabled but no frame stepped: the worker threads are never started.
  tarvos::testing::BootLinkedPlugin(/*enable=*/true);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  StartPluginOnce();
  // An exact-size heap copy, so that AddressSanitizer sees any access past
  // the batch.
  std::vector<uint8_t> batch(data, data + size);
  tarvos::BatchResult r = tarvos::ServeRequestBatch(batch.data(), size, '*');
  if (r.used_length > size) __builtin_trap();
  if (r.result != 0 && r.result != 1) __builtin_trap();
  // The stand-in host records every set call, command and key the write
  // handlers make; drop them so that memory stays flat over millions of runs.
  simhost::Host& host = simhost::Host::Get();
  host.TakeSetRecords();
  host.TakeCommands();
  host.TakeInputs();
  return 0;
}
