// Local connection on Windows: the message window. The batch goes into a
// named mapping of this process backed by the paging file, the mapping's
// name into a global atom, and the window found by its class gets the
// registered request message with the atom; the message's result is the
// answer, 1 (served in place) or 0.
//
// On opening, one handshake batch reads the protocol version (0x3304) and
// the load counter (0x3308) and writes the client's version to 0x330A,
// which the server drops since that offset is write-protected.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "client/connection.h"

namespace tarvos::client {
namespace {

// Registered message names are compared without regard to case: this is
// the server's own message.
constexpr char kRequestMessageName[] = "FsasmLib:IPC";
constexpr size_t kMappingSize = 0x8000;
// What one message may carry: the mapping less room the protocol keeps.
constexpr size_t kMaxLocalBatch = 0x7F00;
constexpr UINT kSendTimeoutMs = 2000;
constexpr int kSendTries = 9;
constexpr uint16_t kClientVersion = 0x1000;

class WindowConnection : public Connection {
 public:
  WindowConnection(std::string window_class, UINT message, HANDLE mapping,
                   void* view, ATOM atom, int timeout_ms)
      : class_(std::move(window_class)),
        message_(message),
        mapping_(mapping),
        view_(view),
        atom_(atom),
        timeout_ms_(timeout_ms) {}
  ~WindowConnection() override {
    if (atom_ != 0) GlobalDeleteAtom(atom_);
    UnmapViewOfFile(view_);
    CloseHandle(mapping_);
  }

  bool Exchange(RequestBatch& batch, std::string* error) override {
    std::vector<uint8_t> area = batch.RecordArea();
    if (area.size() > kMaxLocalBatch) {
      *error = "batch too large for the local transport (at most " +
               std::to_string(kMaxLocalBatch) + " bytes of records)";
      return false;
    }
    // The area ends with its zero id, so what an earlier, longer batch left
    // behind it is never walked.
    std::memcpy(view_, area.data(), area.size());
    DWORD_PTR answer = 0;
    if (!Send(&answer, error)) return false;
    if (answer != 1) {
      *error = "the server rejected the batch (invalid record)";
      return false;
    }
    batch.AcceptServed(static_cast<const uint8_t*>(view_), area.size());
    return true;
  }

 private:
  // Sends the request message, each try bounded by kSendTimeoutMs, and
  // looks the window up again when it went away (the plugin disabled and
  // enabled), until the connection's own time-out is spent.
  bool Send(DWORD_PTR* answer, std::string* error) {
    const DWORD start = GetTickCount();
    for (int tries = 0; tries < kSendTries; ++tries) {
      if (window_ == nullptr || !IsWindow(window_)) {
        window_ = FindWindowA(class_.c_str(), nullptr);
      }
      if (window_ != nullptr) {
        SetLastError(0);
        if (SendMessageTimeoutA(window_, message_, static_cast<WPARAM>(atom_),
                                0, SMTO_BLOCK | SMTO_ABORTIFHUNG,
                                kSendTimeoutMs, answer) != 0) {
          return true;
        }
        if (GetLastError() != ERROR_TIMEOUT) window_ = nullptr;
      }
      if (GetTickCount() - start >= static_cast<DWORD>(timeout_ms_)) break;
      if (window_ == nullptr) Sleep(100);
    }
    *error = window_ == nullptr
                 ? "no simulator with the plugin enabled is running on this "
                   "machine (no window of class '" +
                       class_ + "')"
                 : "timed out waiting for the server's answer";
    return false;
  }

  std::string class_;
  UINT message_;
  HANDLE mapping_;
  void* view_;
  ATOM atom_;
  int timeout_ms_;
  HWND window_ = nullptr;
};

}  // namespace

std::unique_ptr<Connection> ConnectLocal(const std::string& name,
                                         std::string* error, int timeout_ms) {
  HWND window = FindWindowA(name.c_str(), nullptr);
  if (window == nullptr) {
    *error = "cannot reach the local endpoint '" + name +
             "': no simulator with the plugin enabled is running on this "
             "machine";
    return nullptr;
  }
  const UINT message = RegisterWindowMessageA(kRequestMessageName);
  if (message == 0) {
    *error = "cannot register the request message";
    return nullptr;
  }
  static std::atomic<unsigned> serial{0};
  char mapping_name[64];
  std::snprintf(
      mapping_name, sizeof mapping_name, "%s:%X:%X", kRequestMessageName,
      static_cast<unsigned>(GetCurrentProcessId()), serial.fetch_add(1));
  HANDLE mapping =
      CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                         static_cast<DWORD>(kMappingSize), mapping_name);
  if (mapping == nullptr) {
    *error = "cannot create the shared batch (error " +
             std::to_string(GetLastError()) + ")";
    return nullptr;
  }
  void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0);
  if (view == nullptr) {
    CloseHandle(mapping);
    *error = "cannot map the shared batch (error " +
             std::to_string(GetLastError()) + ")";
    return nullptr;
  }
  const ATOM atom = GlobalAddAtomA(mapping_name);
  if (atom == 0) {
    UnmapViewOfFile(view);
    CloseHandle(mapping);
    *error = "cannot add the batch's atom (error " +
             std::to_string(GetLastError()) + ")";
    return nullptr;
  }
  auto c = std::make_unique<WindowConnection>(name, message, mapping, view,
                                              atom, timeout_ms);
  RequestBatch hello;
  hello.AddRead(0x3304, 4);
  hello.AddRead(0x3308, 4);
  hello.AddWriteU16(0x330A, kClientVersion);
  if (!c->Exchange(hello, error)) {
    *error = "the handshake with '" + name + "' failed: " + *error;
    return nullptr;
  }
  return c;
}

}  // namespace tarvos::client
