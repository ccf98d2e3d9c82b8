#include "base/trace_log.h"

#include <cstdarg>
#include <cstdio>

#include "base/file_access.h"
#include "base/paths.h"

namespace tarvos {

std::atomic<int32_t> ReadLogging{0};
std::atomic<int32_t> WriteLogging{0};

namespace {

// The open TraceLog, or null.
FILE* g_trace GUARDED_BY(TraceLock) = nullptr;

// The sources, each published whole: set on the main thread before any
// transport thread starts, read by those threads.
std::atomic<const uint8_t* (*)(uint32_t)> g_offset_bytes{nullptr};
std::atomic<uint32_t> g_space_size{0};
std::atomic<int32_t (*)()> g_request_number{nullptr};
std::atomic<double (*)()> g_running_time{nullptr};

void CloseLocked() REQUIRES(TraceLock) {
  if (g_trace != nullptr) std::fclose(g_trace);
  g_trace = nullptr;
}

void WriteLocked(const char* text, size_t length) REQUIRES(TraceLock) {
  if (g_trace == nullptr) return;
  std::fwrite(text, 1, length, g_trace);
  // Flushed per write so that the trace leading up to a simulator crash
  // reaches the disk.
  std::fflush(g_trace);
}

void SwitchLineLocked(const char* format) REQUIRES(TraceLock) {
  char line[128];
  int n = std::snprintf(line, sizeof line, format, TraceTimeStamp());
  if (n > 0)
    WriteLocked(line, static_cast<size_t>(n) < sizeof line
                          ? static_cast<size_t>(n)
                          : sizeof line - 1);
}

// One switch; `mine` is the switch being flipped, `other` the second one.
void SetTracing(std::atomic<int32_t>& mine, bool on, const char* start_line,
                const char* stop_line) {
  LockGuard<Lock> hold(TraceLock);
  if (on) {
    if (mine.load() != 0) return;
    // Opened only when not open already: the other switch may hold it.
    if (g_trace == nullptr) {
      g_trace = OpenRegularFileForWriting(SystemFilePath(kTraceLogFileName),
                                          /*truncate=*/false);
    }
    SwitchLineLocked(start_line);
    mine.store(1);
  } else {
    if (mine.load() == 0) return;
    SwitchLineLocked(stop_line);
    mine.store(0);
    if (ReadLogging.load() == 0 && WriteLogging.load() == 0) CloseLocked();
  }
}

// The number of the batch being traced. Read without OffsetLock, as the
// entry is written after the lock is released: two interleaved batches may
// print each other's number, which only blurs the trace.
int32_t RequestNumber() {
  auto source = g_request_number.load(std::memory_order_acquire);
  return source != nullptr ? source() : 0;
}

}  // namespace

void SetTraceSources(const TraceSources& sources) {
  g_space_size.store(sources.space_size, std::memory_order_relaxed);
  g_request_number.store(sources.request_number, std::memory_order_release);
  g_running_time.store(sources.running_time, std::memory_order_release);
  g_offset_bytes.store(sources.offset_bytes, std::memory_order_release);
}

double TraceTimeStamp() {
  auto source = g_running_time.load(std::memory_order_acquire);
  return source != nullptr ? source() : 0.0;
}

void FormatTraceEntry(std::string& out, char marker, TraceDirection direction,
                      double time_stamp, int32_t request, uint32_t offset,
                      uint32_t size, const uint8_t* bytes) {
  char head[160];
  const char* verb = direction == TraceDirection::kRead ? "READ " : "WRITE";
  int n = std::snprintf(head, sizeof head,
                        "%c%07.2f Req: %06i %s Offset: %04X Bytes: %03i "
                        "value: ",
                        marker, time_stamp, request, verb, offset,
                        static_cast<int>(size));
  out.clear();
  if (n > 0) {
    out.append(head, static_cast<size_t>(n) < sizeof head
                         ? static_cast<size_t>(n)
                         : sizeof head - 1);
  }
  static constexpr char kHex[] = "0123456789ABCDEF";
  out.reserve(out.size() + size * 3 +
              (size / kTraceValuesPerLine) * (kTraceHeadWidth + 1) + 1);
  for (uint32_t i = 0; i < size; ++i) {
    const uint8_t b = bytes[i];
    out.push_back(kHex[b >> 4]);
    out.push_back(kHex[b & 0x0F]);
    out.push_back(' ');
    if ((i + 1) % kTraceValuesPerLine == 0) {
      out.push_back('\n');
      out.append(kTraceHeadWidth, ' ');
    }
  }
  out.push_back('\n');
}

void WriteTraceEntry(char marker, TraceDirection direction, uint32_t offset,
                     uint32_t size, const uint8_t* bytes) {
  if (bytes == nullptr) {
    // Keep the unlocked read inside the offset space.
    auto source = g_offset_bytes.load(std::memory_order_acquire);
    const uint32_t space = g_space_size.load(std::memory_order_relaxed);
    if (source == nullptr || offset >= space) {
      size = 0;
    } else {
      if (size > space - offset) size = space - offset;
      bytes = source(offset);
    }
    if (bytes == nullptr) size = 0;
  }
  // Formatted before TraceLock is taken so the lock is held only for the
  // write itself.
  std::string entry;
  FormatTraceEntry(entry, marker, direction, TraceTimeStamp(), RequestNumber(),
                   offset, size, bytes);
  LockGuard<Lock> hold(TraceLock);
  WriteLocked(entry.data(), entry.size());
}

void SetReadTracing(bool on) {
  SetTracing(ReadLogging, on, "Start Readlogging %f sec\n",
             "Stop Readlogging %f sec\n");
}

void SetWriteTracing(bool on) {
  SetTracing(WriteLogging, on, "Start Writelogging %f sec\n",
             "Stop Writelogging %f sec\n");
}

void ResetTracing() {
  LockGuard<Lock> hold(TraceLock);
  ReadLogging.store(0);
  WriteLogging.store(0);
  CloseLocked();
}

void OpenTraceLogForStart(const std::string& path) {
  LockGuard<Lock> hold(TraceLock);
  ReadLogging.store(0);
  WriteLogging.store(0);
  CloseLocked();
  g_trace = OpenRegularFileForWriting(path, /*truncate=*/true);
}

void TraceLine(const char* format, ...) {
  char line[512];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (n < 0) return;
  size_t length = static_cast<size_t>(n) < sizeof line ? static_cast<size_t>(n)
                                                       : sizeof line - 1;
  LockGuard<Lock> hold(TraceLock);
  WriteLocked(line, length);
}

void CloseTraceLog() {
  LockGuard<Lock> hold(TraceLock);
  CloseLocked();
}

bool TraceLogIsOpen() {
  LockGuard<Lock> hold(TraceLock);
  return g_trace != nullptr;
}

}  // namespace tarvos
