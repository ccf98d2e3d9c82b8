// Windows: files are opened with CreateFile and kept only when the handle is
// a disk file that is not a directory. Windows has no FIFOs that block an
// open, but a name may still be a device ("CON", "NUL", a pipe) or a folder.
#include <windows.h>
// After windows.h, which it needs.
#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstring>

#include "base/file_access.h"

namespace tarvos {
namespace {

// The C library's error number for a Windows error, as Reason() prints the
// C library's texts on every platform.
int ErrnoOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
      return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    case ERROR_TOO_MANY_OPEN_FILES:
      return EMFILE;
    default:
      return EIO;
  }
}

FileResult Failed(DWORD error) {
  const int e = ErrnoOf(error);
  return FileResult{e == ENOENT ? FileStatus::kMissing : FileStatus::kFailed,
                    e};
}

// What the name is, from its attributes: folders are refused before any
// open.
FileResult Probe(const std::string& path, bool must_exist) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    FileResult failed = Failed(error);
    if (!must_exist && failed.status == FileStatus::kMissing) return {};
    return failed;
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return FileResult{FileStatus::kNotRegular, EISDIR};
  }
  return {};
}

// Opens `path` and keeps the handle only when it is a disk file. Null with
// `result` set otherwise.
HANDLE OpenRegular(const std::string& path, DWORD access, DWORD disposition,
                   FileResult* result) {
  *result = Probe(path, disposition == OPEN_EXISTING);
  if (!result->ok()) return INVALID_HANDLE_VALUE;
  HANDLE h = CreateFileA(path.c_str(), access,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    *result = Failed(GetLastError());
    return INVALID_HANDLE_VALUE;
  }
  if (GetFileType(h) != FILE_TYPE_DISK) {
    CloseHandle(h);
    *result = FileResult{FileStatus::kNotRegular, 0};
    return INVALID_HANDLE_VALUE;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileInformationByHandle(h, &info) &&
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    CloseHandle(h);
    *result = FileResult{FileStatus::kNotRegular, EISDIR};
    return INVALID_HANDLE_VALUE;
  }
  *result = FileResult{};
  return h;
}

}  // namespace

std::string FileResult::Reason() const {
  if (status == FileStatus::kNotRegular && error == 0) {
    return "not a regular file";
  }
  return std::strerror(error);
}

FileResult ProbeFile(const std::string& path) {
  return Probe(path, /*must_exist=*/true);
}

FileResult ReadRegularFile(const std::string& path, std::string* text) {
  text->clear();
  FileResult result;
  HANDLE h = OpenRegular(path, GENERIC_READ, OPEN_EXISTING, &result);
  if (h == INVALID_HANDLE_VALUE) return result;
  char chunk[4096];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(h, chunk, sizeof chunk, &got, nullptr)) {
      result = Failed(GetLastError());
      break;
    }
    if (got == 0) break;
    text->append(chunk, got);
  }
  CloseHandle(h);
  if (!result.ok()) text->clear();
  return result;
}

FileResult WriteRegularFile(const std::string& path, const std::string& data) {
  FileResult result;
  HANDLE h = OpenRegular(path, GENERIC_WRITE, CREATE_ALWAYS, &result);
  if (h == INVALID_HANDLE_VALUE) return result;
  const char* p = data.data();
  size_t left = data.size();
  // An injected full disk: half the data fits, the rest does not.
  const int injected = InjectedFileWriteError(path);
  if (injected != 0) left /= 2;
  while (left > 0) {
    const DWORD chunk =
        left > 0x10000000 ? 0x10000000 : static_cast<DWORD>(left);
    DWORD written = 0;
    if (!WriteFile(h, p, chunk, &written, nullptr) || written == 0) {
      result = Failed(GetLastError());
      if (result.ok()) result = FileResult{FileStatus::kFailed, EIO};
      break;
    }
    p += written;
    left -= written;
  }
  if (injected != 0 && result.ok()) {
    result = FileResult{FileStatus::kFailed, injected};
  }
  if (!CloseHandle(h) && result.ok()) result = Failed(GetLastError());
  return result;
}

FILE* OpenRegularFileForWriting(const std::string& path, bool truncate,
                                FileResult* result) {
  FileResult local;
  FileResult& out = result != nullptr ? *result : local;
  HANDLE h = OpenRegular(path, truncate ? GENERIC_WRITE : FILE_APPEND_DATA,
                         truncate ? CREATE_ALWAYS : OPEN_ALWAYS, &out);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  if (const int injected = InjectedFileWriteError(path)) {
    // No stream that fails its writes here: the open fails instead.
    CloseHandle(h);
    out = FileResult{FileStatus::kFailed, injected};
    return nullptr;
  }
  const int fd =
      _open_osfhandle(reinterpret_cast<intptr_t>(h),
                      truncate ? _O_WRONLY : (_O_WRONLY | _O_APPEND));
  if (fd < 0) {
    CloseHandle(h);
    out = FileResult{FileStatus::kFailed, EMFILE};
    return nullptr;
  }
  FILE* stream = _fdopen(fd, truncate ? "wb" : "ab");
  if (stream == nullptr) {
    out = FileResult{FileStatus::kFailed, errno};
    _close(fd);
  }
  return stream;
}

bool ReplaceRegularFile(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace tarvos
