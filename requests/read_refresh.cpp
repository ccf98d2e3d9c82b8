#include "requests/read_refresh.h"

// Placeholder until the read-time items land: nothing is recomputed.
namespace tarvos {

int RefreshForRead(uint32_t, uint32_t size) { return size == 0 ? 1 : 0; }

}  // namespace tarvos
