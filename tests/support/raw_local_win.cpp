#include <windows.h>

#include <atomic>
#include <cstring>

#include "tests/support/raw_local.h"

namespace tarvos::testing {
namespace {

std::string NewName() {
  static std::atomic<int> serial{0};
  return "FsasmLib:IPC:raw:" + std::to_string(GetCurrentProcessId()) + ":" +
         std::to_string(serial.fetch_add(1));
}

int Ask(const std::string& endpoint, const std::string& name) {
  const ATOM atom = GlobalAddAtomA(name.c_str());
  if (atom == 0) return -1;
  DWORD_PTR result = 0;
  const bool answered =
      SendMessageTimeoutA(FindWindowA(endpoint.c_str(), nullptr),
                          RegisterWindowMessageA("FsasmLib:IPC"), atom, 0,
                          SMTO_BLOCK, 10000, &result) != 0;
  GlobalDeleteAtom(atom);
  return answered ? static_cast<int>(result) : -1;
}

}  // namespace

int RawLocalRequest(const std::string& endpoint, std::vector<uint8_t>* batch) {
  const std::string name = NewName();
  HANDLE mapping =
      CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                         static_cast<DWORD>(batch->size()), name.c_str());
  if (mapping == nullptr) return -1;
  void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0);
  int answer = -1;
  if (view != nullptr) {
    std::memcpy(view, batch->data(), batch->size());
    answer = Ask(endpoint, name);
    std::memcpy(batch->data(), view, batch->size());
    UnmapViewOfFile(view);
  }
  CloseHandle(mapping);
  return answer;
}

int RawLocalRequestForNothing(const std::string& endpoint) {
  return Ask(endpoint, NewName());
}

}  // namespace tarvos::testing
