#include "simhost/host/faults.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <limits>
#include <mutex>
#include <thread>

namespace simhost {
namespace {

constexpr double kMaxLateSeconds = 60;
constexpr int kSocketCalls = 3;

struct SocketFault {
  std::atomic<int> error{0};
  std::atomic<int> left{0};  // -1: without end
  std::atomic<uint64_t> failed{0};
};

struct Faults {
  std::atomic<uint32_t> delay_us{0};
  std::atomic<ValueFault> value{ValueFault::kNone};
  std::atomic<double> late{0};
  SocketFault sockets[kSocketCalls];
  std::atomic<bool> any_socket{false};
  std::atomic<bool> disk_full{false};
  std::atomic<bool> seams{false};
  // The texts: read on every faulty call, so under their own mutex.
  std::mutex mu;
  std::string value_prefix;  // guarded by mu
  std::string disk_name;     // guarded by mu
};

// Never destroyed: worker threads of a plugin may still ask after main.
Faults& State() {
  static Faults* faults = new Faults;
  return *faults;
}

bool Matches(const std::string& name) {
  Faults& f = State();
  std::lock_guard<std::mutex> hold(f.mu);
  return name.compare(0, f.value_prefix.size(), f.value_prefix) == 0;
}

template <typename T>
T Replacement(ValueFault fault, T value) {
  using Limits = std::numeric_limits<T>;
  switch (fault) {
    case ValueFault::kNone:
      return value;
    case ValueFault::kNaN:
      return Limits::has_quiet_NaN ? Limits::quiet_NaN() : value;
    case ValueFault::kInfinity:
      return Limits::has_infinity ? Limits::infinity() : Limits::max();
    case ValueFault::kMinusInfinity:
      return Limits::has_infinity ? -Limits::infinity() : Limits::lowest();
    case ValueFault::kHuge:
      return Limits::max();
    case ValueFault::kMinusHuge:
      return Limits::lowest();
  }
  return value;
}

template <typename T>
T Faulty(const std::string& name, T value) {
  const ValueFault fault = State().value.load(std::memory_order_relaxed);
  if (fault == ValueFault::kNone || !Matches(name)) return value;
  return Replacement(fault, value);
}

}  // namespace

void SetDatarefDelay(uint32_t microseconds) { State().delay_us = microseconds; }
uint32_t DatarefDelay() { return State().delay_us.load(); }

void SetValueFault(ValueFault fault, const std::string& prefix) {
  Faults& f = State();
  {
    std::lock_guard<std::mutex> hold(f.mu);
    f.value_prefix = prefix;
  }
  f.value = fault;
}

ValueFault CurrentValueFault() { return State().value.load(); }

void SetLateFrame(double seconds) {
  if (!(seconds > 0)) seconds = 0;
  State().late = std::min(seconds, kMaxLateSeconds);
}

double TakeLateFrame() { return State().late.exchange(0); }

void FailSocketCalls(SocketCallKind call, int error, int count) {
  Faults& f = State();
  SocketFault& s = f.sockets[static_cast<int>(call)];
  s.left = error == 0 ? 0 : count;
  s.error = error;
  bool any = false;
  for (const SocketFault& each : f.sockets) any = any || each.left.load() != 0;
  f.any_socket = any;
}

int InjectedSocketError(SocketCallKind call) {
  Faults& f = State();
  if (!f.any_socket.load(std::memory_order_relaxed)) return 0;
  SocketFault& s = f.sockets[static_cast<int>(call)];
  int left = s.left.load();
  // Counted down without going below 0, however many threads ask at once.
  while (left != 0) {
    if (left < 0 || s.left.compare_exchange_weak(left, left - 1)) {
      s.failed.fetch_add(1);
      return s.error.load();
    }
  }
  return 0;
}

uint64_t FailedSocketCalls(SocketCallKind call) {
  return State().sockets[static_cast<int>(call)].failed.load();
}

void SetDiskFull(bool full, const std::string& name) {
  Faults& f = State();
  {
    std::lock_guard<std::mutex> hold(f.mu);
    f.disk_name = name;
  }
  f.disk_full = full;
}

int InjectedFileWriteError(const std::string& path) {
  Faults& f = State();
  if (!f.disk_full.load()) return 0;
  const size_t slash = path.find_last_of("/\\");
  const std::string file =
      slash == std::string::npos ? path : path.substr(slash + 1);
  std::lock_guard<std::mutex> hold(f.mu);
  return f.disk_name.empty() || f.disk_name == file ? ENOSPC : 0;
}

void SetPluginFaultSeamsConnected(bool connected) { State().seams = connected; }
bool PluginFaultSeamsConnected() { return State().seams.load(); }

void ClearFaults() {
  SetDatarefDelay(0);
  SetValueFault(ValueFault::kNone);
  SetLateFrame(0);
  for (int call = 0; call < kSocketCalls; ++call) {
    FailSocketCalls(static_cast<SocketCallKind>(call), 0);
    State().sockets[call].failed = 0;
  }
  SetDiskFull(false);
}

float FaultyFloat(const std::string& name, float value) {
  return Faulty(name, value);
}
double FaultyDouble(const std::string& name, double value) {
  return Faulty(name, value);
}
int FaultyInt(const std::string& name, int value) {
  return Faulty(name, value);
}

void DelayDatarefCall() {
  const uint32_t us = State().delay_us.load(std::memory_order_relaxed);
  if (us > 0) std::this_thread::sleep_for(std::chrono::microseconds(us));
}

}  // namespace simhost
