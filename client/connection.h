// Connections to a running plugin: TCP (any host, port 5193 by default) or
// the local IPC endpoint on this machine. Both carry the same batches.
//
// A Connection is used by one thread at a time. Every call that waits on the
// server gives up after the connection's time-out.
#ifndef TARVOS_CLIENT_CONNECTION_H_
#define TARVOS_CLIENT_CONNECTION_H_

#include <cstdint>
#include <memory>
#include <string>

#include "client/batch.h"

namespace tarvos::client {

inline constexpr uint16_t kDefaultPort = 5193;
inline constexpr const char* kDefaultLocalEndpoint = "FS98MAIN";
inline constexpr int kDefaultTimeoutMs = 5000;

class Connection {
 public:
  virtual ~Connection() = default;
  // Sends the batch and fills its reads from the reply. On failure returns
  // false with a message in `error`; the connection may then be unusable.
  virtual bool Exchange(RequestBatch& batch, std::string* error) = 0;
};

// Connects over TCP. Null with a friendly message on failure (refused, no
// such host, time-out).
std::unique_ptr<Connection> ConnectTcp(const std::string& host, uint16_t port,
                                       std::string* error,
                                       int timeout_ms = kDefaultTimeoutMs);

// Connects to the local endpoint `name` (default "FS98MAIN"); the batch goes
// through a shared-memory object of this process.
std::unique_ptr<Connection> ConnectLocal(const std::string& name,
                                         std::string* error,
                                         int timeout_ms = kDefaultTimeoutMs);

}  // namespace tarvos::client

#endif  // TARVOS_CLIENT_CONNECTION_H_
