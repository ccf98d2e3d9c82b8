// StatusLog: TARVOS.txt in the simulator's folder, one line per event.
//
// Threads: written by the main thread and every worker thread. Each line is
// formatted into a local buffer and written with one call under an internal
// mutex, so lines never interleave. Lines are dropped while the file is not
// open.
#ifndef TARVOS_BASE_STATUS_LOG_H_
#define TARVOS_BASE_STATUS_LOG_H_

#include <cstdio>
#include <string>

namespace tarvos {

// Opens TARVOS.txt at `path`, truncating when `truncate`, else appending.
// A file that cannot be opened leaves the log closed (lines are dropped).
void OpenStatusLog(const std::string& path, bool truncate);
void CloseStatusLog();
bool StatusLogIsOpen();

// Writes one formatted line (the caller supplies the trailing "\n").
void StatusLine(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Writes the formatted message, then ": ", the system's text for the error
// number current at the call, and "\n" to `stream`. Returns the number of
// characters written, or -1 when either part could not be written (or
// `stream` is null).
int WriteErrorMessage(FILE* stream, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

}  // namespace tarvos

#endif  // TARVOS_BASE_STATUS_LOG_H_
