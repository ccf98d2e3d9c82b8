#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/file_access.h"

namespace tarvos {
namespace {

FileResult Failed(int error) {
  return FileResult{
      error == ENOENT ? FileStatus::kMissing : FileStatus::kFailed, error};
}

FileResult NotRegular(mode_t mode) {
  return FileResult{FileStatus::kNotRegular, S_ISDIR(mode) ? EISDIR : 0};
}

// Opens `path` with `flags` plus non-blocking, close-on-exec and no
// controlling terminal, and keeps the descriptor only when it is a regular
// file. The type is checked first (so that a device is never opened at all)
// and again on the descriptor (the name may change in between). Returns the
// descriptor, switched back to blocking mode, or -1 with `result` set.
int OpenRegular(const std::string& path, int flags, FileResult* result) {
  struct stat before;
  if (::stat(path.c_str(), &before) == 0) {
    if (!S_ISREG(before.st_mode)) {
      *result = NotRegular(before.st_mode);
      return -1;
    }
  } else if (errno != ENOENT || (flags & O_CREAT) == 0) {
    *result = Failed(errno);
    return -1;
  }
  int fd;
  do {
    fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    // ENXIO: a FIFO without a reader, opened for writing.
    *result =
        errno == ENXIO ? FileResult{FileStatus::kNotRegular, 0} : Failed(errno);
    return -1;
  }
  struct stat after;
  if (::fstat(fd, &after) != 0) {
    *result = Failed(errno);
    ::close(fd);
    return -1;
  }
  if (!S_ISREG(after.st_mode)) {
    *result = NotRegular(after.st_mode);
    ::close(fd);
    return -1;
  }
  const int status = ::fcntl(fd, F_GETFL);
  if (status >= 0) ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
  *result = FileResult{};
  return fd;
}

}  // namespace

std::string FileResult::Reason() const {
  if (status == FileStatus::kNotRegular && error == 0) {
    return "not a regular file";
  }
  return std::strerror(error);
}

FileResult ProbeFile(const std::string& path) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) return Failed(errno);
  if (!S_ISREG(info.st_mode)) return NotRegular(info.st_mode);
  return FileResult{};
}

FileResult ReadRegularFile(const std::string& path, std::string* text) {
  text->clear();
  FileResult result;
  const int fd = OpenRegular(path, O_RDONLY, &result);
  if (fd < 0) return result;
  char chunk[4096];
  for (;;) {
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      result = FileResult{FileStatus::kFailed, errno};
      break;
    }
    if (got == 0) break;
    text->append(chunk, static_cast<size_t>(got));
  }
  ::close(fd);
  if (!result.ok()) text->clear();
  return result;
}

FileResult WriteRegularFile(const std::string& path, const std::string& data) {
  FileResult result;
  const int fd = OpenRegular(path, O_WRONLY | O_CREAT | O_TRUNC, &result);
  if (fd < 0) return result;
  const char* p = data.data();
  size_t left = data.size();
  // An injected full disk: half the data fits, the rest does not.
  const int injected = InjectedFileWriteError(path);
  if (injected != 0) left /= 2;
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      result = FileResult{FileStatus::kFailed, n < 0 ? errno : EIO};
      break;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  if (injected != 0 && result.ok()) {
    result = FileResult{FileStatus::kFailed, injected};
  }
  // On the disk before it is called written: the file may be about to
  // replace another (ReplaceRegularFile), and a rename that reaches the
  // disk before the data would leave an empty file after a power loss.
  // Delayed allocation also reports a full disk only here or at close.
  if (result.ok() && ::fsync(fd) != 0) {
    result = FileResult{FileStatus::kFailed, errno};
  }
  if (::close(fd) != 0 && result.ok()) {
    result = FileResult{FileStatus::kFailed, errno};
  }
  return result;
}

FILE* OpenRegularFileForWriting(const std::string& path, bool truncate,
                                FileResult* result) {
  FileResult local;
  FileResult& out = result != nullptr ? *result : local;
  const int flags = O_WRONLY | O_CREAT | (truncate ? O_TRUNC : O_APPEND);
  int fd = OpenRegular(path, flags, &out);
  if (fd < 0) return nullptr;
  if (const int injected = InjectedFileWriteError(path)) {
    // The file is there, as on a full disk, but nothing written reaches it.
    ::close(fd);
    fd = ::open("/dev/full", O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
      out = FileResult{FileStatus::kFailed, injected};
      return nullptr;
    }
  }
  FILE* stream = ::fdopen(fd, truncate ? "w" : "a");
  if (stream == nullptr) {
    out = FileResult{FileStatus::kFailed, errno};
    ::close(fd);
  }
  return stream;
}

bool ReplaceRegularFile(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace tarvos
