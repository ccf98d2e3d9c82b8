// Faults the stand-in host injects on request, so that tests and users can
// see the plugin keep going when its simulator misbehaves:
//   - slow datarefs: every getter and setter of the host API takes a while;
//   - odd values: float and double getters return NaN, +/-infinity or the
//     largest finite values, int getters the int limits;
//   - a late frame: the next flight-loop frame comes that many seconds late
//     (the main thread sleeps, and the frame's elapsed time includes it);
//   - failing socket calls and a full disk in the plugin itself. These reach
//     the plugin through seams in its socket and file layers, which only a
//     plugin linked into the same binary can be connected to (tests,
//     benchmarks, fuzz targets: tests/support/fault_seams.cpp). A plugin
//     loaded from its binary keeps those layers to itself.
//
// Host::Reset clears every fault.
//
// Threads: every function is safe from any thread; the plugin's worker
// threads consult the faults while the main thread sets them.
#ifndef TARVOS_SIMHOST_FAULTS_H_
#define TARVOS_SIMHOST_FAULTS_H_

#include <cstdint>
#include <string>

namespace simhost {

// What getters return instead of the value. kHuge: FLT_MAX / DBL_MAX /
// INT_MAX; kMinusHuge: their negatives (INT_MIN for ints). NaN leaves int
// getters alone; the infinities give the int limits.
enum class ValueFault {
  kNone,
  kNaN,
  kInfinity,
  kMinusInfinity,
  kHuge,
  kMinusHuge
};

// The socket calls the plugin's socket layer makes.
enum class SocketCallKind { kAccept, kReceive, kSend };

// Every host API dataref getter and setter sleeps `microseconds` first
// (outside the host's mutex, as a slow simulator would). 0: no delay.
void SetDatarefDelay(uint32_t microseconds);
uint32_t DatarefDelay();

// Getters of datarefs whose name starts with `prefix` (empty: all) return
// `fault` instead of their value. The test-side Host::Get* are not touched.
void SetValueFault(ValueFault fault, const std::string& prefix = "");
ValueFault CurrentValueFault();

// The next frame comes `seconds` late (at most 60); 0 cancels.
void SetLateFrame(double seconds);
// The lateness of the frame being stepped, once (StepFrame takes it).
double TakeLateFrame();

// The next `count` calls of `call` (-1: every call until cleared) fail with
// the system's error number `error`; error 0 clears the fault of that call.
void FailSocketCalls(SocketCallKind call, int error, int count = -1);
// The error number the next `call` fails with, or 0; counts it down.
int InjectedSocketError(SocketCallKind call);
// Calls of each kind that were made to fail (for tests).
uint64_t FailedSocketCalls(SocketCallKind call);

// While on, every write the plugin makes to a file whose name (the part
// after the last separator) is `name` (empty: any file) fails as on a full
// disk.
void SetDiskFull(bool full, const std::string& name = "");
// The error number a write to `path` fails with (ENOSPC), or 0.
int InjectedFileWriteError(const std::string& path);

// Set by whatever connected the plugin's socket and file seams to the two
// functions above; the control channel refuses socket and disk faults
// without them.
void SetPluginFaultSeamsConnected(bool connected);
bool PluginFaultSeamsConnected();

// Every fault off (Host::Reset).
void ClearFaults();

// Applies the current value fault to a getter's result for dataref `name`.
float FaultyFloat(const std::string& name, float value);
double FaultyDouble(const std::string& name, double value);
int FaultyInt(const std::string& name, int value);
// Sleeps for the dataref delay, if one is set.
void DelayDatarefCall();

}  // namespace simhost

#endif  // TARVOS_SIMHOST_FAULTS_H_
