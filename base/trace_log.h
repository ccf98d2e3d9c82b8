// TraceLog: TARVOS.log, one entry per traced client read or write record.
//
// Threads: entries are written by the transport threads under TraceLock; the
// tracing switches (performance settings window, main thread) and the
// lifecycle open and close the file under the same lock. The file handle is
// only ever touched with TraceLock held.
//
// Invariant: after XPluginStart the TraceLog is open exactly while
// ReadLogging or WriteLogging is on. Enable and Disable switch both off and
// close the file (silently), so a later switch-on always opens it afresh and
// it can never be open twice.
#ifndef TARVOS_BASE_TRACE_LOG_H_
#define TARVOS_BASE_TRACE_LOG_H_

#include <atomic>
#include <cstdint>
#include <string>

#include "base/locks.h"

namespace tarvos {

enum class TraceDirection { kRead, kWrite };

// Tracing switches (0 off, else on). Atomic because the transports read them
// on every record without a lock while the settings window flips them.
extern std::atomic<int32_t> ReadLogging;
extern std::atomic<int32_t> WriteLogging;

// What an entry shows that the trace log cannot know by itself: the bytes of
// the offset space (for entries given none), the number of the batch being
// served and the simulator's running time. The offset subsystem connects them
// at XPluginStart; until then an entry shows no bytes, request 0 and time 0.
struct TraceSources {
  // The bytes at `offset`, read without a lock, or null.
  const uint8_t* (*offset_bytes)(uint32_t offset) = nullptr;
  // Bytes of the offset space (entries are cut to it).
  uint32_t space_size = 0;
  int32_t (*request_number)() = nullptr;
  double (*running_time)() = nullptr;
};
void SetTraceSources(const TraceSources& sources);

// Marker characters that start an entry: local server and TCP server.
inline constexpr char kTraceMarkerLocal = ' ';
inline constexpr char kTraceMarkerTcp = '*';

// Width of an entry's head; continuation lines of values are indented by it
// so that they line up under the first value.
inline constexpr int kTraceHeadWidth = 58;
// Values printed per line of an entry.
inline constexpr uint32_t kTraceValuesPerLine = 16;

// Writes one entry for a served record. `bytes` holds the `size` bytes of the
// record's range as the client saw them (copied while OffsetLock was held);
// when it is null the bytes are read from OffsetBlock without the lock (a
// concurrent refresh may then show newer values). Does nothing while the
// TraceLog is closed.
void WriteTraceEntry(char marker, TraceDirection direction, uint32_t offset,
                     uint32_t size, const uint8_t* bytes) EXCLUDES(TraceLock);

// Formats an entry into `out` (no file involved); used by WriteTraceEntry and
// by tests. `time_stamp` in seconds, `request` the request number.
void FormatTraceEntry(std::string& out, char marker, TraceDirection direction,
                      double time_stamp, int32_t request, uint32_t offset,
                      uint32_t size, const uint8_t* bytes);

// The tracing switches (each takes TraceLock). Turning a switch on that is
// already on, or off that is already off, does nothing.
void SetReadTracing(bool on) EXCLUDES(TraceLock);
void SetWriteTracing(bool on) EXCLUDES(TraceLock);

// Both switches off and the TraceLog closed, writing nothing (Enable and
// Disable).
void ResetTracing() EXCLUDES(TraceLock);

// XPluginStart: switches off, TraceLog opened at `path` truncating it (a
// file that cannot be opened leaves the log closed and its lines dropped).
void OpenTraceLogForStart(const std::string& path) EXCLUDES(TraceLock);
// Writes one formatted line to the TraceLog if it is open.
void TraceLine(const char* format, ...) EXCLUDES(TraceLock)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
// Closes the TraceLog (end of XPluginStart).
void CloseTraceLog() EXCLUDES(TraceLock);
bool TraceLogIsOpen() EXCLUDES(TraceLock);

// The simulator's running time in seconds, as trace lines print it.
double TraceTimeStamp();

}  // namespace tarvos

#endif  // TARVOS_BASE_TRACE_LOG_H_
