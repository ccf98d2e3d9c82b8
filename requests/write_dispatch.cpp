#include "requests/write_dispatch.h"

// Placeholder until the write handlers land: nothing beyond the copy.
namespace tarvos {

int ApplyWrite(const uint8_t*, uint32_t, uint32_t size) {
  return size == 0 ? 1 : 0;
}

}  // namespace tarvos
