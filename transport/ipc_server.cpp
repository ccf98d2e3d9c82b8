// The local IPC server: one thread that owns the platform endpoint
// (ipc_endpoint.h) and serves one request at a time with ServeRequestBatch.
//
// Threads: the main thread starts and stops the server thread and is the
// only one to touch `thread` and `endpoint`; the server thread runs the
// endpoint's loop and serves on it. Requests from several local clients are
// therefore served strictly one after another.
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "base/status_log.h"
#include "base/trace_log.h"
#include "offsets/offset_block.h"
#include "transport/ipc_endpoint.h"
#include "transport/request_batch.h"
#include "transport/server_options.h"
#include "transport/servers.h"

namespace tarvos {
namespace {

struct IpcServerState {
  // Run flag: 1 while the thread should serve. Atomic: set and cleared by
  // the main thread, read by the server thread.
  std::atomic<int32_t> run{0};
  // True while the endpoint is open and accepting (for tests and clients
  // that want to wait for the server).
  std::atomic<bool> listening{false};
  // Endpoint name, set before the server starts.
  std::mutex name_mu;
  std::string name = kDefaultIpcEndpointName;
  // Owned by the main thread.
  std::thread thread;
  std::shared_ptr<IpcEndpoint> endpoint;
};

// Never destroyed: see tcp_server.cpp.
IpcServerState& State() {
  static IpcServerState* state = new IpcServerState;
  return *state;
}

// One request message: count it, open the named batch, throttle, serve.
int ServeMessage(std::string_view batch_name) {
  CountRequest();
  std::unique_ptr<NamedBatch> batch = NamedBatch::Open(batch_name);
  // The throttle applies to every message, found or not.
  int tune = TuneValue.load(std::memory_order_relaxed);
  if (tune > 0) std::this_thread::sleep_for(std::chrono::milliseconds(tune));
  if (!batch) return 0;
  uint8_t* data = nullptr;
  size_t size = 0;
  if (!batch->Map(&data, &size)) return 0;
  BatchResult served = ServeRequestBatch(data, size, kTraceMarkerLocal);
  batch->Finish(served.used_length);
  return served.result;
}

void ServerBody(const std::shared_ptr<IpcEndpoint>& endpoint,
                const std::string& name) {
  IpcServerState& st = State();
  StatusLine("Start QIRAMain Thread!\n");
  IpcEndpoint::OpenSteps steps = endpoint->Open(name);
  if (steps.class_registered && steps.window_created) {
    StatusLine("Create QIRAMain Window OK!\n");
    if (steps.message_registered) {
      StatusLine("Register QIRAMain Call message OK!\n");
    }
  }
  StatusLine("Waiting for messages!\n");
  st.listening.store(steps.window_created);
  if (st.run.load() == 1) {
    endpoint->Run([](std::string_view batch_name) {
      if (State().run.load() != 1) return 0;
      return ServeMessage(batch_name);
    });
  }
  st.listening.store(false);
  StatusLine("TARVOS->Closing Window\n");
  endpoint->Close();
  StatusLine("TARVOS->Closed QIRAMain Thread!\n");
}

void ServerMain(std::shared_ptr<IpcEndpoint> endpoint, std::string name) {
  try {
    ServerBody(endpoint, name);
  } catch (...) {
    // A thread must never end the process.
  }
}

}  // namespace

void SetIpcEndpointName(const std::string& name) {
  IpcServerState& st = State();
  std::lock_guard<std::mutex> hold(st.name_mu);
  st.name = name;
}

std::string IpcEndpointName() {
  IpcServerState& st = State();
  std::lock_guard<std::mutex> hold(st.name_mu);
  return st.name;
}

bool IpcServerListening() { return State().listening.load(); }

bool StartIpcServer() {
  IpcServerState& st = State();
  if (st.thread.joinable()) return true;  // already running
  try {
    st.endpoint = IpcEndpoint::Make();
    if (!st.endpoint) return false;
    st.run.store(1);
    st.thread = std::thread(ServerMain, st.endpoint, IpcEndpointName());
  } catch (...) {
    st.run.store(0);
    st.endpoint.reset();
    return false;
  }
  return true;
}

void StopIpcServer() {
  IpcServerState& st = State();
  st.run.store(0);
  if (st.endpoint) st.endpoint->Quit();
  if (st.thread.joinable()) st.thread.join();
  st.endpoint.reset();
}

}  // namespace tarvos
