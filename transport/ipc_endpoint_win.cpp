// Windows: the hidden message window. A client puts its batch in a named
// file mapping, the mapping's name in a global atom, and sends the window the
// registered message with the atom as the first parameter; the answer is the
// message's result.
//
// Shutdown cannot be lost: the thread's message queue exists before the
// thread publishes its id, and Quit both sets a flag and posts the quit
// message to a published id. Whichever of the two comes first, the other
// sees it (both are sequentially consistent), so the loop always ends.
#include <windows.h>

#include <atomic>
#include <cstring>
#include <string>

#include "transport/ipc_endpoint.h"

namespace tarvos {
namespace {

// The registered message a client sends (names are case-insensitive).
constexpr char kRequestMessageName[] = "FSASMLIB:IPC";
// Characters read from an atom: a name of more than kMaxBatchNameLength can
// then be told from one that fits, and is refused.
constexpr int kAtomNameBuffer = 260;

HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                         GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&ThisModule), &module);
  return module;
}

class WindowEndpoint final : public IpcEndpoint {
 public:
  OpenSteps Open(const std::string& name) override {
    OpenSteps steps;
    // The queue first, then the id: a quit posted to the id is never lost.
    MSG msg;
    PeekMessageA(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    thread_id_.store(GetCurrentThreadId());

    class_name_ = name;
    instance_ = ThisModule();
    WNDCLASSA wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = &WindowEndpoint::Procedure;
    wc.hInstance = instance_;
    wc.lpszClassName = class_name_.c_str();
    class_registered_ = RegisterClassA(&wc) != 0;
    steps.class_registered = class_registered_;
    if (!class_registered_) return steps;
    window_ = CreateWindowExA(WS_EX_CLIENTEDGE, class_name_.c_str(),
                              class_name_.c_str(), WS_POPUP, 0, 0, 10, 10,
                              nullptr, nullptr, instance_, nullptr);
    steps.window_created = window_ != nullptr;
    if (window_ == nullptr) return steps;
    SetWindowLongPtrA(window_, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(this));
    message_ = RegisterWindowMessageA(kRequestMessageName);
    steps.message_registered = message_ != 0;
    return steps;
  }

  void Run(const ServeFn& serve) override {
    serve_ = &serve;
    MSG msg;
    while (!quit_.load()) {
      const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
      if (got == 0 || got == -1) break;  // the quit message, or an error
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    serve_ = nullptr;
  }

  void Quit() override {
    quit_.store(true);
    const DWORD id = thread_id_.load();
    if (id == 0) return;  // the thread sees the flag before it waits
    // A full queue refuses the post; the flag then ends the loop at the
    // next message, and a few retries make that next message come.
    for (int tries = 0; tries < 50; ++tries) {
      if (PostThreadMessageA(id, WM_QUIT, 0, 0)) return;
      Sleep(10);
    }
  }

  void Close() override {
    if (window_ != nullptr) {
      SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
      DestroyWindow(window_);
      window_ = nullptr;
    }
    if (class_registered_) {
      UnregisterClassA(class_name_.c_str(), instance_);
      class_registered_ = false;
    }
  }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam,
                                    LPARAM lparam) {
    auto* self = reinterpret_cast<WindowEndpoint*>(
        GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self != nullptr && self->message_ != 0 && message == self->message_) {
      return self->Serve(static_cast<ATOM>(wparam));
    }
    return DefWindowProcA(window, message, wparam, lparam);
  }

  LRESULT Serve(ATOM atom) {
    if (serve_ == nullptr) return 0;
    char name[kAtomNameBuffer + 1];
    const UINT length = GlobalGetAtomNameA(atom, name, kAtomNameBuffer);
    // An atom that names nothing gives an empty name, which opens nothing
    // (the request is still counted and throttled by the server).
    size_t n = length < kAtomNameBuffer ? length : kAtomNameBuffer;
    name[n] = '\0';
    return (*serve_)(std::string_view(name, n));
  }

  std::atomic<bool> quit_{false};
  std::atomic<DWORD> thread_id_{0};
  // The rest belongs to the server thread.
  std::string class_name_;
  HINSTANCE instance_ = nullptr;
  bool class_registered_ = false;
  HWND window_ = nullptr;
  UINT message_ = 0;
  const ServeFn* serve_ = nullptr;
};

class MappingBatch final : public NamedBatch {
 public:
  explicit MappingBatch(HANDLE mapping) : mapping_(mapping) {}
  ~MappingBatch() override {
    if (view_ != nullptr) UnmapViewOfFile(view_);
    CloseHandle(mapping_);
  }

  bool Map(uint8_t** data, size_t* size) override {
    view_ = MapViewOfFile(mapping_, FILE_MAP_WRITE, 0, 0, 0);
    if (view_ == nullptr) return false;
    // The records may reach no further than the view: its size is the
    // mapping's, rounded to whole pages, as the system reports it. The view
    // keeps the mapping alive even if the client closes its handle.
    MEMORY_BASIC_INFORMATION info{};
    if (VirtualQuery(view_, &info, sizeof info) == 0) {
      UnmapViewOfFile(view_);
      view_ = nullptr;
      return false;
    }
    *data = static_cast<uint8_t*>(view_);
    *size = info.RegionSize;
    return true;
  }

  void Finish(size_t /*used*/) override {
    // Served in place: the client sees the bytes as they were written.
    if (view_ != nullptr) UnmapViewOfFile(view_);
    view_ = nullptr;
  }

 private:
  HANDLE mapping_;
  void* view_ = nullptr;
};

}  // namespace

std::unique_ptr<IpcEndpoint> IpcEndpoint::Make() {
  return std::make_unique<WindowEndpoint>();
}

std::unique_ptr<NamedBatch> NamedBatch::Open(std::string_view name) {
  if (name.empty() || name.size() > kMaxBatchNameLength) return nullptr;
  if (name.find('\0') != std::string_view::npos) return nullptr;
  const std::string terminated(name);
  HANDLE mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, terminated.c_str());
  if (mapping == nullptr) return nullptr;
  return std::make_unique<MappingBatch>(mapping);
}

}  // namespace tarvos
