#include "base/status_log.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "base/file_access.h"

namespace tarvos {
namespace {

// Serialises writers and open/close. The file pointer itself is guarded by it.
std::mutex g_mu;
FILE* g_file = nullptr;

}  // namespace

void OpenStatusLog(const std::string& path, bool truncate) {
  std::lock_guard<std::mutex> hold(g_mu);
  if (g_file != nullptr) std::fclose(g_file);
  // Never blocks: a FIFO or device of that name leaves the log closed.
  g_file = OpenRegularFileForWriting(path, truncate);
}

void CloseStatusLog() {
  std::lock_guard<std::mutex> hold(g_mu);
  if (g_file != nullptr) std::fclose(g_file);
  g_file = nullptr;
}

bool StatusLogIsOpen() {
  std::lock_guard<std::mutex> hold(g_mu);
  return g_file != nullptr;
}

void StatusLine(const char* format, ...) {
  char line[1024];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (n < 0) return;
  size_t len = static_cast<size_t>(n) < sizeof line ? static_cast<size_t>(n)
                                                    : sizeof line - 1;
  // A line cut to the buffer still ends its line, so the next one starts on
  // a line of its own.
  if (len < static_cast<size_t>(n) && len > 0) line[len - 1] = '\n';
  std::lock_guard<std::mutex> hold(g_mu);
  if (g_file == nullptr) return;
  std::fwrite(line, 1, len, g_file);
  // Flushed per line so that a simulator crash still leaves the events that
  // led up to it on disk.
  std::fflush(g_file);
}

int WriteErrorMessage(FILE* stream, const char* format, ...) {
  // Taken first: formatting may itself change errno.
  const int error = errno;
  if (stream == nullptr) return -1;
  va_list args;
  va_start(args, format);
  const int head = std::vfprintf(stream, format, args);
  va_end(args);
  if (head < 0) return -1;
  const int tail = std::fprintf(stream, ": %s\n", std::strerror(error));
  if (tail < 0) return -1;
  return head + tail;
}

}  // namespace tarvos
