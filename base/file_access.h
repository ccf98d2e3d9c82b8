// Opening the plugin's own files (TARVOS.ini and its temporary copy,
// TARVOSOffsets.cfg, TARVOS.txt, TARVOS.log) so that a name taken by
// something that is not a regular file can never hang the simulator: a FIFO
// blocks an ordinary open until a peer appears, a device may block or never
// end, and a directory opens but cannot be read. Every operation here checks
// the file's type before and after opening, opens without blocking, and
// refuses anything but a regular file as a file that cannot be opened.
//
// POSIX: stat, then open with O_NONBLOCK, then fstat. A Windows port
// (file_access_win.cpp) has no FIFOs that block on open; it must still check
// the type (GetFileType == FILE_TYPE_DISK, not a directory) before reading.
//
// Threads: no state of its own; safe from any thread.
#ifndef TARVOS_BASE_FILE_ACCESS_H_
#define TARVOS_BASE_FILE_ACCESS_H_

#include <cstdio>
#include <string>

namespace tarvos {

enum class FileStatus {
  kOk,
  kMissing,     // nothing of that name
  kNotRegular,  // a directory, FIFO, socket or device
  kFailed,      // open, read or write failed (permissions, I/O error)
};

struct FileResult {
  FileStatus status = FileStatus::kOk;
  // The system's error number behind kMissing and kFailed; EISDIR for a
  // directory; 0 for other kNotRegular kinds.
  int error = 0;

  bool ok() const { return status == FileStatus::kOk; }
  // The reason in words, as the "Can't open %s: %s" lines print it: the
  // system's text for `error`, or "not a regular file".
  std::string Reason() const;
};

// What is at `path` (following symbolic links), without opening it.
FileResult ProbeFile(const std::string& path);

// Reads the whole file at `path` into `text` when it is a regular file.
FileResult ReadRegularFile(const std::string& path, std::string* text);

// Replaces the contents of `path` with `data`, creating the file when it
// does not exist; refuses a path that names anything but a regular file.
FileResult WriteRegularFile(const std::string& path, const std::string& data);

// A stream on `path` for writing: truncated when `truncate`, else appended
// to; created when missing. Null (with the reason in `result` when given)
// when the path names anything but a regular file or cannot be opened.
FILE* OpenRegularFileForWriting(const std::string& path, bool truncate,
                                FileResult* result = nullptr);

// Puts the file `from` in the place of `to` in one step: a reader sees the
// old file or the new one, never a part of either. POSIX: rename. Windows:
// MoveFileEx replacing the existing file, written through to the disk.
bool ReplaceRegularFile(const std::string& from, const std::string& to);

// Fault seam for tests and the stand-in host. When a hook is set, every
// WriteRegularFile and every OpenRegularFileForWriting asks it with the
// path; a non-zero system error number (ENOSPC for a full disk) makes the
// writes fail as the system would: WriteRegularFile creates or truncates
// the file, writes part of the data and fails with that error; a stream
// opens, but none of its writes reach the file (POSIX: the stream writes
// to /dev/full; Windows: no stream, the open fails). With no hook set (the
// plugin in a simulator) the cost is one atomic load per call.
using FileWriteFaultHook = int (*)(const std::string& path);
void SetFileWriteFaultHook(FileWriteFaultHook hook);
// The hook's answer for `path`, or 0 without a hook (for the platform
// files).
int InjectedFileWriteError(const std::string& path);

}  // namespace tarvos

#endif  // TARVOS_BASE_FILE_ACCESS_H_
