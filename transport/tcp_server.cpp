// TCP server: one listener thread and up to eight client threads, each
// serving framed request batches (frame.h) with ServeRequestBatch.
//
// Threads:
// - The main thread calls PrepareTcpServerForEnable, StartTcpServer and
//   StopTcpServer; only it touches listener_thread.
// - The listener thread owns the client table (slots) and the listening
//   socket: it alone creates, replaces and closes them. StopTcpServer only
//   shuts the listening socket down (under listener_mu) to wake accept().
// - Each client thread owns its connection and closes it on leaving; the
//   listener at shutdown only shuts a still-open connection down (under the
//   connection's mutex) to wake its recv(), then waits for the thread.
// Client slots are reused only after their thread has finished (done flag),
// so every connected client is found, woken and waited for at shutdown.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "offsets/locks.h"
#include "plugin/status_log.h"
#include "plugin/trace_log.h"
#include "transport/frame.h"
#include "transport/request_batch.h"
#include "transport/server_options.h"
#include "transport/servers.h"
#include "transport/socket.h"

namespace tarvos {
namespace {

constexpr uint32_t kMaxClients = 8;
constexpr int kListenBacklog = 6;
constexpr uint32_t kLoopbackAddress = 0x7F000001;  // 127.0.0.1
constexpr uint32_t kAnyAddress = 0;

// One accepted connection, shared by its client thread and the listener.
struct Connection {
  Lock mu;
  SocketHandle socket GUARDED_BY(mu) = kInvalidSocket;
  bool open GUARDED_BY(mu) = false;
  // Set by the client thread as its last act before leaving; tells the
  // listener that the slot may be reused (its thread can be joined at once).
  std::atomic<bool> done{false};
};

struct ClientSlot {
  std::thread thread;
  std::shared_ptr<Connection> connection;
};

struct TcpServerState {
  // Listener run flag: set by StartTcpServer, cleared by StopTcpServer or
  // by the listener itself when accept fails. Atomic: read in loops by the
  // listener while the main thread clears it.
  std::atomic<int32_t> run{0};
  // Client run flag: set at Enable, cleared by the listener at shutdown;
  // polled by every client thread.
  std::atomic<int32_t> client_run{0};
  // Connected clients: incremented by the listener, decremented by client
  // threads as they leave.
  std::atomic<uint32_t> client_count{0};

  // Guards the listening socket handle against StopTcpServer's shutdown.
  Lock listener_mu;
  SocketHandle listener GUARDED_BY(listener_mu) = kInvalidSocket;

  // Wakes the listener while it waits for a free client place.
  std::mutex wait_mu;
  std::condition_variable wait_cv;

  // Owned by the listener thread (and by StopTcpServer after joining it).
  ClientSlot slots[kMaxClients];

  // Owned by the main thread.
  std::thread listener_thread;

  // Configuration, read by the listener when it binds.
  std::atomic<uint16_t> port{kDefaultTcpPort};
  std::atomic<bool> loopback_only{false};
  // Port of the current listener, for tests and clients of a port-0 server.
  std::atomic<uint16_t> bound_port{0};
};

// Never destroyed: a simulator that unloads the library without Disable must
// not run std::thread destructors (which would end the process).
TcpServerState& State() {
  static TcpServerState* state = new TcpServerState;
  return *state;
}

void WakeListenerWait() {
  TcpServerState& st = State();
  { std::lock_guard<std::mutex> hold(st.wait_mu); }
  st.wait_cv.notify_all();
}

// Creates, binds and listens; returns the socket or kInvalidSocket. Logs
// only when `log` (the first creation); re-creation is silent.
SocketHandle OpenListener(int protocol, uint16_t port, bool log) {
  TcpServerState& st = State();
  SocketHandle s = CreateStreamSocket(protocol);
  if (s == kInvalidSocket) {
    if (log) StatusLine("TARNET->Socket creation failed\n");
    return kInvalidSocket;
  }
  if (log) {
    StatusLine("TARNET->Socket creation %08X OK\n", static_cast<unsigned>(s));
  }
  const uint32_t address = st.loopback_only ? kLoopbackAddress : kAnyAddress;
  if (!BindSocket(s, address, port)) {
    if (log) StatusLine("TARNET->Bind failed\n");
    CloseSocket(s);
    return kInvalidSocket;
  }
  if (log) StatusLine("TARNET->Bind OK\n");
  if (!ListenSocket(s, kListenBacklog)) {
    if (log) StatusLine("TARNET->Listen failed\n");
    CloseSocket(s);
    return kInvalidSocket;
  }
  if (log) StatusLine("TARNET->Listen OK\n");
  return s;
}

// Makes `s` the current listener unless the server is stopping, in which
// case it is closed. Returns false when stopping.
bool InstallListener(SocketHandle s) {
  TcpServerState& st = State();
  LockGuard<Lock> hold(st.listener_mu);
  if (st.run.load() != 1) {
    if (s != kInvalidSocket) CloseSocket(s);
    return false;
  }
  st.listener = s;
  return true;
}

void CloseListener() {
  TcpServerState& st = State();
  LockGuard<Lock> hold(st.listener_mu);
  if (st.listener != kInvalidSocket) CloseSocket(st.listener);
  st.listener = kInvalidSocket;
}

void ClientThreadBody(Connection& connection, uint32_t number) {
  TcpServerState& st = State();
  StatusLine("SocketI->Client No: = %02u\n", number);
  SocketHandle socket;
  {
    LockGuard<Lock> hold(connection.mu);
    socket = connection.socket;
  }
  // 32 KB: on the heap, not the thread's stack.
  auto frame = std::make_unique<FrameAssembler>();
  while (st.client_run.load() == 1) {
    // A frame larger than the buffer never completes; with no room left
    // the connection is given up.
    if (frame->Room() == 0) break;
    long n = ReceiveSome(socket, frame->WritePointer(), frame->Room());
    if (n <= 0) break;
    FrameAssembler::State state = frame->OnReceived(static_cast<size_t>(n));
    if (state != FrameAssembler::State::kComplete) continue;

    CountRequest();
    BatchResult served = ServeRequestBatch(
        frame->RecordArea(), frame->RecordLength(), kTraceMarkerTcp);
    size_t reply = frame->MakeReply(served.result, served.used_length);
    bool sent = SendAll(socket, frame->Buffer(), reply);
    frame->Reset();
    if (!sent) break;
  }
  {
    LockGuard<Lock> hold(connection.mu);
    ShutdownReceive(connection.socket);
    CloseSocket(connection.socket);
    connection.socket = kInvalidSocket;
    connection.open = false;
  }
  StatusLine("SocketI->Closing Client No: %02u\n", number);
  connection.done.store(true);
  st.client_count.fetch_sub(1);
  WakeListenerWait();
}

void ClientThreadMain(std::shared_ptr<Connection> connection, uint32_t number) {
  try {
    ClientThreadBody(*connection, number);
  } catch (...) {
    // Nothing in the body throws by design; a thread must never end the
    // process, so anything unexpected only ends this connection.
  }
}

// A slot whose thread has finished (joined here) or was never used.
int FreeSlot() {
  TcpServerState& st = State();
  for (uint32_t i = 0; i < kMaxClients; ++i) {
    ClientSlot& slot = st.slots[i];
    if (!slot.thread.joinable()) return static_cast<int>(i);
    if (slot.connection && slot.connection->done.load()) {
      slot.thread.join();
      slot.connection.reset();
      return static_cast<int>(i);
    }
  }
  return -1;
}

// Shutdown step: wakes and waits for every client thread, highest slot
// first.
void EndClientThreads() {
  TcpServerState& st = State();
  st.client_run.store(0);
  uint32_t count = st.client_count.load();
  if (count > 0) {
    StatusLine("TARNET->Closing Client threads count = %u\n", count);
  }
  for (int i = static_cast<int>(kMaxClients) - 1; i >= 0; --i) {
    ClientSlot& slot = st.slots[i];
    if (!slot.thread.joinable()) continue;
    if (!slot.connection->done.load()) {
      StatusLine("TARNET->Close Client thread No.%u clientcount %u\n",
                 static_cast<unsigned>(i), st.client_count.load());
      LockGuard<Lock> hold(slot.connection->mu);
      // Wakes the thread's recv(); the thread itself closes the socket.
      if (slot.connection->open) ShutdownSocket(slot.connection->socket);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    slot.thread.join();
    slot.connection.reset();
  }
}

// Waits until fewer than kMaxClients are connected or the server stops.
void WaitForFreePlace() {
  TcpServerState& st = State();
  std::unique_lock<std::mutex> hold(st.wait_mu);
  while (st.run.load() == 1 && st.client_count.load() >= kMaxClients) {
    st.wait_cv.wait_for(hold, std::chrono::milliseconds(500));
  }
}

void ListenerBody() {
  TcpServerState& st = State();
  SocketLibraryStatus library = StartSocketLibrary();
  if (library.error != 0) {
    StatusLine("WSAStartup failed with error: %d\n", library.error);
    return;
  }
  if (!library.version_ok) {
    StatusLine("Could not find a usable version of Winsock.dll\n");
    CleanupSocketLibrary();
    return;
  }
  StatusLine("The Winsock 2.2 dll was found okay\n");

  int protocol = 0;
  if (!LookupTcpProtocol(&protocol)) {
    StatusLine("TARNET->Cannot map \"tcp\" to protocol number\n");
    CleanupSocketLibrary();
    return;
  }
  StatusLine("TARNET->Map \"tcp\" to protocol number OK\n");

  SocketHandle listener = OpenListener(protocol, st.port.load(), true);
  if (listener == kInvalidSocket) {
    CleanupSocketLibrary();
    return;
  }
  // A re-created listener must come back on the same port, also when the
  // first one was given a free port by the system.
  const uint16_t port = SocketLocalPort(listener);
  StatusLine("TARNET->Socket Thread Init OK\n");
  if (InstallListener(listener)) st.bound_port.store(port);

  while (st.run.load() == 1) {
    uint32_t count = st.client_count.load();
    if (count >= kMaxClients) {
      StatusLine("TARNET->Maximum of clients reached %u\n", count);
      // Closing the listener refuses further connection attempts.
      CloseListener();
      WaitForFreePlace();
      if (st.run.load() != 1) break;
      listener = OpenListener(protocol, port, false);
      if (!InstallListener(listener)) break;
      StatusLine("TARNET->Release OK\n");
      continue;
    }
    StatusLine("TARNET->Waiting for clients.....%i\n", static_cast<int>(count));
    SocketHandle client = AcceptSocket(listener);
    if (client == kInvalidSocket) {
      StatusLine("TARNET->Client accept failed\n");
      st.run.store(0);
      break;
    }
    int index = FreeSlot();
    // Counted before the thread starts, so that a client leaving at once
    // cannot take the count below zero.
    uint32_t number = st.client_count.fetch_add(1);
    bool started = false;
    if (index >= 0) {
      auto connection = std::make_shared<Connection>();
      {
        LockGuard<Lock> hold(connection->mu);
        connection->socket = client;
        connection->open = true;
      }
      try {
        st.slots[index].thread =
            std::thread(ClientThreadMain, connection, number);
        st.slots[index].connection = std::move(connection);
        started = true;
      } catch (...) {
        started = false;
      }
    }
    if (!started) {
      st.client_count.fetch_sub(1);
      CloseSocket(client);
      StatusLine("TARNET->Creating thread failed\n");
      st.run.store(0);
      break;
    }
    StatusLine("TARNET->Client Creating thread No. %u OK\n", number + 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }

  EndClientThreads();
  CloseListener();
  st.bound_port.store(0);
  CleanupSocketLibrary();
  StatusLine("TARNET->Closed Socket serve thread!\n");
}

void ListenerMain() {
  try {
    ListenerBody();
  } catch (...) {
    // See ClientThreadMain: never let anything end the process.
  }
}

}  // namespace

void SetTcpServerPort(uint16_t port) { State().port.store(port); }
void SetTcpServerLoopbackOnly(bool loopback_only) {
  State().loopback_only.store(loopback_only);
}
uint16_t TcpServerBoundPort() { return State().bound_port.load(); }

void PrepareTcpServerForEnable() {
  TcpServerState& st = State();
  st.client_run.store(1);
  st.client_count.store(0);
}

bool StartTcpServer() {
  TcpServerState& st = State();
  if (st.listener_thread.joinable()) return true;  // already running
  st.run.store(1);
  try {
    st.listener_thread = std::thread(ListenerMain);
  } catch (...) {
    st.run.store(0);
    return false;
  }
  return true;
}

void StopTcpServer() {
  TcpServerState& st = State();
  st.run.store(0);
  {
    // Wakes the blocking accept(); the listener closes the socket itself.
    LockGuard<Lock> hold(st.listener_mu);
    if (st.listener != kInvalidSocket) ShutdownSocket(st.listener);
  }
  WakeListenerWait();
  // No grace sleep before the wait: the shutdown above wakes the listener at
  // once, and the join is what guarantees it has ended.
  if (st.listener_thread.joinable()) st.listener_thread.join();
  st.client_count.store(0);
}

}  // namespace tarvos
