// The platform part of the local IPC server: the endpoint that receives
// request messages on the server thread, and access to the named batch a
// message refers to. On Windows the endpoint is the hidden "FS98MAIN" window
// answering "FSASMLIB:IPC" with a named file mapping; on POSIX systems it is
// a Unix-domain stream socket named after "FS98MAIN", and the batch lives in
// a POSIX shared-memory object whose name the client sends.
//
// POSIX wire format (never change): a request message is a 16-bit
// little-endian name length (1 to kMaxBatchNameLength) followed by the name
// bytes; the answer is one byte, 1 (every record served) or 0.
//
// Threads: Open, Run and Close run on the server thread; Quit may be called
// from any thread at any time, also before Run has started.
#ifndef TARVOS_TRANSPORT_IPC_ENDPOINT_H_
#define TARVOS_TRANSPORT_IPC_ENDPOINT_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace tarvos {

// Longest batch name accepted (the atom name buffer holds 260 characters).
inline constexpr size_t kMaxBatchNameLength = 255;

class IpcEndpoint {
 public:
  // Which set-up steps succeeded; each one is reported by its own status
  // line, and a failed step leaves the loop running but serving nothing.
  struct OpenSteps {
    bool class_registered = false;    // window class, or socket created
    bool window_created = false;      // window, or socket bound and listening
    bool message_registered = false;  // the registered message number
  };

  // Called by the request loop for each request: the batch name exactly as
  // the message carries it (its length is the message's length field, so a
  // name with a NUL inside arrives whole and is refused by NamedBatch::Open),
  // answered with the returned result (1 or 0).
  using ServeFn = std::function<int(std::string_view batch_name)>;

  // Made by the starting thread, before the server thread exists, so that a
  // quit request can never be lost.
  static std::unique_ptr<IpcEndpoint> Make();
  virtual ~IpcEndpoint() = default;

  virtual OpenSteps Open(const std::string& name) = 0;
  // Serves requests one at a time until Quit (or a fatal loop error).
  virtual void Run(const ServeFn& serve) = 0;
  // Asks Run to return (the thread's quit message).
  virtual void Quit() = 0;
  // Tears the endpoint down (window destroyed, class unregistered).
  virtual void Close() = 0;
};

// A named batch opened for serving: the bytes are handed out for in-place
// serving and made visible to the client by Finish.
class NamedBatch {
 public:
  // Opens the named batch; null when no batch of that name exists or the
  // name is not acceptable (on POSIX: "/" and 1 to 254 further characters,
  // none of them "/" or NUL).
  static std::unique_ptr<NamedBatch> Open(std::string_view name);
  virtual ~NamedBatch() = default;

  // Makes the batch's bytes available; false when it cannot be mapped.
  virtual bool Map(uint8_t** data, size_t* size) = 0;
  // Publishes the first `used` bytes back to the client and unmaps.
  virtual void Finish(size_t used) = 0;
};

}  // namespace tarvos

#endif  // TARVOS_TRANSPORT_IPC_ENDPOINT_H_
