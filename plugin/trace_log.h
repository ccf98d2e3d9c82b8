// TraceLog: TARVOS.log, one entry per traced client read or write record.
//
// Threads: entries are written by the transport threads under TraceLock; the
// tracing switches (performance settings window, main thread) open and close
// the file under the same lock.
#ifndef TARVOS_PLUGIN_TRACE_LOG_H_
#define TARVOS_PLUGIN_TRACE_LOG_H_

#include <cstdint>
#include <string>

namespace tarvos {

enum class TraceDirection { kRead, kWrite };

// Marker characters that start an entry: local server and TCP server.
inline constexpr char kTraceMarkerLocal = ' ';
inline constexpr char kTraceMarkerTcp = '*';

// Writes one entry for a served record. `bytes` holds the `size` bytes of the
// record's range as the client saw them (copied while OffsetLock was held).
// Does nothing while the TraceLog is closed.
void WriteTraceEntry(char marker, TraceDirection direction, uint32_t offset,
                     uint32_t size, const uint8_t* bytes);

// Formats an entry into `out` (no file involved); used by WriteTraceEntry and
// by tests. `time_stamp` in seconds, `request` the request number.
void FormatTraceEntry(std::string& out, char marker, TraceDirection direction,
                      double time_stamp, int32_t request, uint32_t offset,
                      uint32_t size, const uint8_t* bytes);

// The tracing switches (each takes TraceLock).
void SetReadTracing(bool on);
void SetWriteTracing(bool on);

}  // namespace tarvos

#endif  // TARVOS_PLUGIN_TRACE_LOG_H_
