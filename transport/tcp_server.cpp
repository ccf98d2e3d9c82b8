// TCP server: one listener thread and up to eight client threads, each
// serving framed request batches (frame.h) with ServeRequestBatch.
//
// The listening socket stays open and bound for as long as the listener
// runs, so that no other program can take the port (and the connections
// meant for the simulator) while the server is full:
// - with eight clients connected the listener goes on accepting, in steps
//   of 500 ms, and closes every further connection at once ("Maximum of
//   clients reached" is written once each time the server becomes full,
//   "Release OK" when a place frees up);
// - a connection from an address the access policy does not admit is closed
//   at once and takes no place (one line per address per minute);
// - when the listening socket fails while the server runs (not by Disable,
//   which clears the run flag first), it is closed and opened again with
//   back-off, 100 ms doubling to 30 s, instead of ending network service.
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
#include <string>
#include <thread>
#include <unordered_map>

#include "base/locks.h"
#include "base/status_log.h"
#include "base/trace_log.h"
#include "transport/access_policy.h"
#include "transport/frame.h"
#include "transport/request_batch.h"
#include "transport/server_options.h"
#include "transport/servers.h"
#include "transport/socket.h"
#include "transport/subscriptions.h"

namespace tarvos {
namespace {

constexpr uint32_t kMaxClients = 8;
constexpr int kListenBacklog = 6;
constexpr uint32_t kLoopbackAddress = 0x7F000001;  // 127.0.0.1
constexpr uint32_t kAnyAddress = 0;
// While full: how long one wait for a free place lasts (the 500 ms
// sleep); connections arriving meanwhile are accepted and closed.
constexpr int kFullWaitMs = 500;
// Re-opening a failed listening socket: first delay, doubled up to the last.
constexpr uint32_t kReopenFirstDelayMs = 100;
constexpr uint32_t kReopenMaxDelayMs = 30000;
// A passing accept failure (descriptors or memory short): the same back-off
// up to this delay.
constexpr uint32_t kRetryMaxDelayMs = 5000;
// A refused address is logged at most once per this period.
constexpr auto kRefusalLogPeriod = std::chrono::minutes(1);
constexpr size_t kRefusalLogEntries = 1024;

// One accepted connection, shared by its client thread and the listener.
struct Connection {
  Lock mu;
  SocketHandle socket GUARDED_BY(mu) = kInvalidSocket;
  bool open GUARDED_BY(mu) = false;
  // Set by the client thread as its last act before leaving; tells the
  // listener that the slot may be reused (its thread can be joined at once).
  std::atomic<bool> done{false};
};

// What a client thread needs to know about its client.
struct ClientTerms {
  uint32_t peer_address = 0;
  bool read_only = false;
  uint32_t idle_timeout_seconds = 0;
};

struct ClientSlot {
  std::thread thread;
  std::shared_ptr<Connection> connection;
};

struct TcpServerState {
  // Listener run flag: set by StartTcpServer, cleared by StopTcpServer or
  // by the listener itself when it cannot go on. Atomic: read in loops by
  // the listener while the main thread clears it.
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

  // Wakes the listener from its back-off waits when the server stops.
  std::mutex wait_mu;
  std::condition_variable wait_cv;

  // Owned by the listener thread (and by StopTcpServer after joining it).
  ClientSlot slots[kMaxClients];

  // Owned by the main thread.
  std::thread listener_thread;

  // Configuration, read by the listener when it starts.
  std::atomic<uint16_t> port{kDefaultTcpPort};
  std::atomic<bool> loopback_only{false};
  std::mutex policy_mu;
  TcpAccessPolicy policy;  // guarded by policy_mu
  // Port of the current listener, for tests and clients of a port-0 server;
  // 0 while no listening socket is open.
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

// Sleeps `ms` unless the server stops first; true when it still runs.
bool WaitWhileRunning(uint32_t ms) {
  TcpServerState& st = State();
  std::unique_lock<std::mutex> hold(st.wait_mu);
  st.wait_cv.wait_for(hold, std::chrono::milliseconds(ms),
                      [&] { return st.run.load() != 1; });
  return st.run.load() == 1;
}

// Where the listener binds, fixed when it starts.
struct ListenerPlace {
  int protocol = 0;
  uint32_t address = kAnyAddress;
  uint16_t port = 0;
};

// Creates, binds and listens; returns the socket or kInvalidSocket. With
// `log` (the first opening) every step writes its line; otherwise only
// `failed_step` tells which step failed.
SocketHandle OpenListener(const ListenerPlace& place, bool log,
                          const char** failed_step) {
  SocketHandle s = CreateStreamSocket(place.protocol);
  if (s == kInvalidSocket) {
    if (log) StatusLine("TARNET->Socket creation failed\n");
    *failed_step = "Socket creation";
    return kInvalidSocket;
  }
  if (log) {
    StatusLine("TARNET->Socket creation %08X OK\n", static_cast<unsigned>(s));
  }
  if (!SetExclusiveAddressUse(s) || !BindSocket(s, place.address, place.port)) {
    if (log) StatusLine("TARNET->Bind failed\n");
    *failed_step = "Bind";
    CloseSocket(s);
    return kInvalidSocket;
  }
  if (log) StatusLine("TARNET->Bind OK\n");
  if (!ListenSocket(s, kListenBacklog)) {
    if (log) StatusLine("TARNET->Listen failed\n");
    *failed_step = "Listen";
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
  st.bound_port.store(SocketLocalPort(s));
  return true;
}

void CloseListener() {
  TcpServerState& st = State();
  LockGuard<Lock> hold(st.listener_mu);
  if (st.listener != kInvalidSocket) CloseSocket(st.listener);
  st.listener = kInvalidSocket;
  st.bound_port.store(0);
}

// Opens the listening socket again after a failure, waiting `delay` ms,
// then twice as long after each failed attempt up to 30 s. Attempts are
// logged while the delay grows; once it has reached its limit the listener
// goes on trying quietly. `delay` is left doubled, so that a socket failing
// again soon after is not re-opened (and logged) in a tight loop; the
// caller resets it once a connection has been accepted. Returns the
// installed socket, or kInvalidSocket when the server stops first.
SocketHandle ReopenListener(const ListenerPlace& place, uint32_t& delay) {
  StatusLine("TARNET->Opening the listening socket again in %u ms\n", delay);
  for (;;) {
    if (!WaitWhileRunning(delay)) return kInvalidSocket;
    const char* failed_step = "";
    SocketHandle s = OpenListener(place, /*log=*/false, &failed_step);
    if (s != kInvalidSocket) {
      if (!InstallListener(s)) return kInvalidSocket;
      StatusLine("TARNET->Listening socket open again on port %u\n",
                 static_cast<unsigned>(SocketLocalPort(s)));
      delay = std::min(delay * 2, kReopenMaxDelayMs);
      return s;
    }
    if (delay < kReopenMaxDelayMs) {
      delay = std::min(delay * 2, kReopenMaxDelayMs);
      if (delay < kReopenMaxDelayMs) {
        StatusLine("TARNET->%s failed again, next try in %u ms\n", failed_step,
                   delay);
      } else {
        StatusLine(
            "TARNET->%s failed again, trying every %u ms from now on "
            "without logging\n",
            failed_step, delay);
      }
    }
  }
}

// The refused-address lines: at most one per address per minute, so that a
// client retrying in a loop cannot flood the StatusLog. Listener thread
// only.
class RefusalLog {
 public:
  void Refused(uint32_t address) {
    const auto now = std::chrono::steady_clock::now();
    auto found = last_.find(address);
    if (found != last_.end() && now - found->second < kRefusalLogPeriod) {
      return;
    }
    if (found == last_.end() && last_.size() >= kRefusalLogEntries) {
      Prune(now);
    }
    last_[address] = now;
    StatusLine("TARNET->Client %s not allowed, connection closed\n",
               FormatIpv4Address(address).c_str());
  }

 private:
  void Prune(std::chrono::steady_clock::time_point now) {
    for (auto it = last_.begin(); it != last_.end();) {
      it = now - it->second >= kRefusalLogPeriod ? last_.erase(it) : ++it;
    }
    // Many distinct addresses within one minute: forget them all rather
    // than grow without bound (their next refusal is logged again).
    if (last_.size() >= kRefusalLogEntries) last_.clear();
  }

  std::unordered_map<uint32_t, std::chrono::steady_clock::time_point> last_;
};

// A connection's sending side: replies and answers from its client thread,
// updates from its sender thread, each frame written whole under one mutex
// so that no two frames interleave.
class ConnectionOutput {
 public:
  ConnectionOutput(Connection& connection, SocketHandle socket)
      : connection_(connection), socket_(socket) {}
  ~ConnectionOutput() { StopSender(); }
  ConnectionOutput(const ConnectionOutput&) = delete;
  ConnectionOutput& operator=(const ConnectionOutput&) = delete;

  ConnectionSubscriptions& subscriptions() { return *subscriptions_; }

  bool Send(const uint8_t* bytes, size_t size) {
    std::lock_guard<std::mutex> hold(send_mu_);
    return SendAll(socket_, bytes, size);
  }

  // Serves one complete subscribe or unsubscribe frame. False when the
  // answer could not be sent.
  bool ServeSubscriptionFrame(FrameAssembler& frame) {
    ConnectionSubscriptions& subscriptions = *subscriptions_;
    uint32_t id = 0;
    SubscriptionStatus status;
    const bool subscribe = frame.Type() == kFrameTypeSubscribe;
    if (subscribe) {
      status = subscriptions.Subscribe(frame.RecordArea(), frame.RecordLength(),
                                       &id);
      if (status == SubscriptionStatus::kDone && !EnsureSender()) {
        // No thread to send its updates: as if the connection were full.
        subscriptions.Remove(id);
        status = SubscriptionStatus::kTooManySubscriptions;
      }
    } else {
      status = subscriptions.Unsubscribe(frame.RecordArea(),
                                         frame.RecordLength(), &id);
    }
    uint8_t answer[kAnswerFrameSize];
    const size_t size = WriteAnswerFrame(answer, id, status);
    std::lock_guard<std::mutex> hold(send_mu_);
    // Armed before the answer goes out, so that a frame ending as soon as
    // the client has it is sampled; its update cannot overtake the answer,
    // since the sender needs this mutex to send it.
    if (subscribe && status == SubscriptionStatus::kDone) {
      subscriptions.Arm(id);
    }
    return SendAll(socket_, answer, size);
  }

  // Started with the first subscription; false when no thread could be
  // started.
  bool EnsureSender() {
    if (sender_.joinable()) return true;
    try {
      sender_ = std::thread([this] { SenderMain(); });
    } catch (...) {
      return false;
    }
    return true;
  }

  // Ends the sender: it may be blocked in a send to a client that stopped
  // reading, which only shutting the socket down wakes.
  void StopSender() {
    UnregisterSubscriptions(subscriptions_.get());
    subscriptions_->Stop();
    if (!sender_.joinable()) return;
    {
      LockGuard<Lock> hold(connection_.mu);
      if (connection_.open) ShutdownSocket(connection_.socket);
    }
    sender_.join();
  }

 private:
  void SenderMain() {
    try {
      std::vector<uint8_t> out;
      while (subscriptions_->WaitForUpdates()) {
        // Taken under the send mutex: once the client thread has answered
        // an unsubscribe, no update of the old subscription can follow.
        std::lock_guard<std::mutex> hold(send_mu_);
        subscriptions_->TakeUpdates(&out);
        if (out.empty()) continue;
        if (!SendAll(socket_, out.data(), out.size())) break;
      }
    } catch (...) {
      // Never end the process; the connection ends below.
    }
    // A broken connection: wake the client thread's receive too.
    LockGuard<Lock> hold(connection_.mu);
    if (connection_.open) ShutdownSocket(connection_.socket);
  }

  Connection& connection_;
  const SocketHandle socket_;
  std::mutex send_mu_;
  std::unique_ptr<ConnectionSubscriptions> subscriptions_ =
      std::make_unique<ConnectionSubscriptions>();
  std::thread sender_;
};

void ClientThreadBody(Connection& connection, uint32_t number,
                      const ClientTerms& terms) {
  TcpServerState& st = State();
  StatusLine("SocketI->Client No: = %02u\n", number);
  if (terms.read_only) {
    StatusLine(
        "SocketI->Client No: %02u (%s) may only read, its writes are "
        "skipped\n",
        number, FormatIpv4Address(terms.peer_address).c_str());
  }
  SocketHandle socket;
  {
    LockGuard<Lock> hold(connection.mu);
    socket = connection.socket;
  }
  if (terms.idle_timeout_seconds > 0) {
    SetReceiveTimeout(socket, terms.idle_timeout_seconds * 1000);
  }
  const BatchAccess access =
      terms.read_only ? BatchAccess::kReadOnly : BatchAccess::kReadWrite;
  // 32 KB: on the heap, not the thread's stack.
  auto frame = std::make_unique<FrameAssembler>();
  auto output = std::make_unique<ConnectionOutput>(connection, socket);
  RegisterSubscriptions(&output->subscriptions());
  bool open = true;
  while (open && st.client_run.load() == 1) {
    // A frame larger than the buffer never completes; with no room left
    // the connection is given up.
    if (frame->Room() == 0) break;
    long n = ReceiveSome(socket, frame->WritePointer(), frame->Room());
    if (n == kReceiveTimedOut) {
      // A client that only listens to its updates is not idle.
      if (output->subscriptions().HasLive()) continue;
      StatusLine("SocketI->Client No: %02u sent nothing for %u s, closing\n",
                 number, terms.idle_timeout_seconds);
      break;
    }
    if (n <= 0) break;
    FrameAssembler::State state = frame->OnReceived(static_cast<size_t>(n));
    // Frames sent back to back are served in turn.
    while (open && state == FrameAssembler::State::kComplete) {
      if (frame->Type() == kFrameTypeRequest) {
        CountRequest();
        BatchResult served =
            ServeRequestBatch(frame->RecordArea(), frame->RecordLength(),
                              kTraceMarkerTcp, access);
        size_t reply = frame->MakeReply(served.result, served.used_length);
        open = output->Send(frame->Buffer(), reply);
      } else {
        open = output->ServeSubscriptionFrame(*frame);
      }
      state = frame->Next();
    }
  }
  // The sender ends (and the sampler lets go of this connection) before
  // the socket is closed.
  output.reset();
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
}

void ClientThreadMain(std::shared_ptr<Connection> connection, uint32_t number,
                      ClientTerms terms) {
  try {
    ClientThreadBody(*connection, number, terms);
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

// Starts a client thread for an admitted connection. False (the socket
// closed) when no thread could be started.
bool AdmitClient(SocketHandle client, const ClientTerms& terms,
                 uint32_t* number) {
  TcpServerState& st = State();
  int index = FreeSlot();
  // Counted before the thread starts, so that a client leaving at once
  // cannot take the count below zero.
  *number = st.client_count.fetch_add(1);
  if (index >= 0) {
    auto connection = std::make_shared<Connection>();
    {
      LockGuard<Lock> hold(connection->mu);
      connection->socket = client;
      connection->open = true;
    }
    try {
      st.slots[index].thread =
          std::thread(ClientThreadMain, connection, *number, terms);
      st.slots[index].connection = std::move(connection);
      return true;
    } catch (...) {
    }
  }
  st.client_count.fetch_sub(1);
  CloseSocket(client);
  return false;
}

// The accept loop. Returns when the server stops or cannot go on.
void ServeConnections(const ListenerPlace& place, SocketHandle listener,
                      const TcpAccessPolicy& policy, uint32_t reopen_delay) {
  TcpServerState& st = State();
  RefusalLog refusals;
  bool full = false;
  // "Waiting for clients" has been written for the current wait: turned
  // away and refused connections do not start a new one.
  bool waiting_logged = false;
  uint32_t retry_delay = 0;  // 0: no passing accept failure in a row
  while (st.run.load() == 1) {
    const uint32_t count = st.client_count.load();
    if (count >= kMaxClients && !full) {
      StatusLine("TARNET->Maximum of clients reached %u\n", count);
      full = true;
    } else if (count < kMaxClients && full) {
      StatusLine("TARNET->Release OK\n");
      full = false;
      waiting_logged = false;
    }
    if (!full && !waiting_logged) {
      StatusLine("TARNET->Waiting for clients.....%i\n",
                 static_cast<int>(count));
      waiting_logged = true;
    }

    const AcceptResult got =
        AcceptConnection(listener, full ? kFullWaitMs : -1);
    if (got.status == AcceptStatus::kNone) continue;
    if (got.status == AcceptStatus::kRetry) {
      // Descriptors or memory short: the listener is fine, wait and retry.
      if (retry_delay == 0) {
        StatusLine("TARNET->Client accept failed\n");
        StatusLine("TARNET->%s, accepting again shortly\n",
                   SocketErrorText(got.error).c_str());
        retry_delay = kReopenFirstDelayMs;
      } else {
        retry_delay = std::min(retry_delay * 2, kRetryMaxDelayMs);
      }
      WaitWhileRunning(retry_delay);
      continue;
    }
    if (got.status == AcceptStatus::kFailed) {
      StatusLine("TARNET->Client accept failed\n");
      // Disable clears the run flag before it shuts the socket down.
      if (st.run.load() != 1) return;
      StatusLine("TARNET->Listening socket failed (%s)\n",
                 SocketErrorText(got.error).c_str());
      CloseListener();
      listener = ReopenListener(place, reopen_delay);
      if (listener == kInvalidSocket) return;
      waiting_logged = false;
      continue;
    }
    retry_delay = 0;
    reopen_delay = kReopenFirstDelayMs;

    if (!policy.allowed.Contains(got.peer_address)) {
      CloseSocket(got.socket);
      refusals.Refused(got.peer_address);
      continue;
    }
    if (st.client_count.load() >= kMaxClients) {
      // Full: the connection is turned away, and the port stays ours.
      CloseSocket(got.socket);
      continue;
    }
    if (full) {
      // A place came free while the listener waited and this client takes
      // it; the lines are those of a wait that ended in an accept.
      StatusLine("TARNET->Release OK\n");
      full = false;
      StatusLine("TARNET->Waiting for clients.....%i\n",
                 static_cast<int>(st.client_count.load()));
    }
    const ClientTerms terms{got.peer_address,
                            policy.read_only.Contains(got.peer_address),
                            policy.idle_timeout_seconds};
    uint32_t number = 0;
    if (!AdmitClient(got.socket, terms, &number)) {
      StatusLine("TARNET->Creating thread failed\n");
      st.run.store(0);
      return;
    }
    waiting_logged = false;
    StatusLine("TARNET->Client Creating thread No. %u OK\n", number + 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
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

  ListenerPlace place;
  if (!LookupTcpProtocol(&place.protocol)) {
    StatusLine("TARNET->Cannot map \"tcp\" to protocol number\n");
    CleanupSocketLibrary();
    return;
  }
  StatusLine("TARNET->Map \"tcp\" to protocol number OK\n");

  const TcpAccessPolicy policy = CurrentTcpAccessPolicy();
  if (policy.listen_address) {
    place.address = *policy.listen_address;
  } else {
    place.address = st.loopback_only ? kLoopbackAddress : kAnyAddress;
  }
  place.port = st.port.load();

  uint32_t reopen_delay = kReopenFirstDelayMs;
  const char* failed_step = "";
  SocketHandle listener = OpenListener(place, /*log=*/true, &failed_step);
  if (listener != kInvalidSocket) {
    // A re-opened listener must come back on the same port, also when the
    // first one was given a free port by the system.
    place.port = SocketLocalPort(listener);
    if (!InstallListener(listener)) listener = kInvalidSocket;
  } else {
    // The port may be held by another program for a while: keep trying
    // rather than leave the simulator without network service.
    listener = ReopenListener(place, reopen_delay);
  }
  if (listener != kInvalidSocket) {
    StatusLine("TARNET->Socket Thread Init OK\n");
    ServeConnections(place, listener, policy, reopen_delay);
  }

  EndClientThreads();
  CloseListener();
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

bool BreakTcpListeningSocketForTesting() {
  TcpServerState& st = State();
  LockGuard<Lock> hold(st.listener_mu);
  if (st.listener == kInvalidSocket) return false;
  ShutdownSocket(st.listener);
  return true;
}

void SetTcpAccessPolicy(const TcpAccessPolicy& policy) {
  TcpServerState& st = State();
  std::lock_guard<std::mutex> hold(st.policy_mu);
  st.policy = policy;
}

TcpAccessPolicy CurrentTcpAccessPolicy() {
  TcpServerState& st = State();
  std::lock_guard<std::mutex> hold(st.policy_mu);
  return st.policy;
}

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
    // Wakes the waiting accept; the listener closes the socket itself.
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
