#include "plugin/constant_offsets.h"

#include <cstring>
#include <string>

#include "base/paths.h"
#include "base/plugin_state.h"
#include "offsets/coding.h"
#include "offsets/offset_block.h"

namespace tarvos {
namespace {

// Grows by kStartCounterStep on every XPluginStart while the library stays
// loaded; only the main thread touches it.
uint32_t g_start_counter = kStartCounterInitial;

}  // namespace

void StoreConstantOffsets() {
  g_start_counter += kStartCounterStep;

  uint8_t word[4];
  StoreU32(word, g_start_counter);
  Publish(kStartCounterOffset, word, sizeof word);
  StoreU32(word, kHostVersionValue);
  Publish(kHostVersionOffset, word, sizeof word);

  uint8_t version[kVersionStringSize] = {};
  static_assert(sizeof kPluginVersion <= kVersionStringSize,
                "version string must fit its field with its terminator");
  std::memcpy(version, kPluginVersion, sizeof kPluginVersion);
  Publish(kVersionStringOffset, version, sizeof version);

  // Cut to 255 characters; the last byte of the field is always 0.
  uint8_t path[kSystemPathSize] = {};
  const std::string folder = SystemFolder();
  std::memcpy(path, folder.data(),
              folder.size() < kSystemPathSize - 1 ? folder.size()
                                                  : kSystemPathSize - 1);
  Publish(kSystemPathOffset, path, sizeof path);

  uint8_t year[2];
  StoreU16(year, kYearValue);
  Publish(kYearOffset, year, sizeof year);

  const uint8_t ready = 1;
  Publish(kReadyFlagOffset, &ready, 1);
}

}  // namespace tarvos
