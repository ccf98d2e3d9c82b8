// The preset view of `tarvos-client watch`: the most-read values, decoded
// and labelled, or (raw) the same bytes in hexadecimal.
//
// Only offsets the plugin keeps current are listed: the periodic refresh
// (position, speeds, clock) and the read-time items (autopilot targets and
// modes, engine 1 gauges). Radios, the autopilot master switch and engine
// N1/N2 have no refresh yet and would always read 0, so they are left out
// until they do; a row is one line of the table in watch_preset.cpp.
#ifndef TARVOS_CLIENT_WATCH_PRESET_H_
#define TARVOS_CLIENT_WATCH_PRESET_H_

#include <cstdint>
#include <string>

#include "client/batch.h"

namespace tarvos::client {

// Formats the row's bytes (`size` of them, little-endian) for a person.
using PresetDecoder = std::string (*)(const uint8_t* bytes);

struct PresetRow {
  const char* label;
  uint16_t offset;
  uint8_t size;
  PresetDecoder decode;
};

// Adds one read per preset row to `batch`, in table order.
void AddPresetReads(RequestBatch& batch);

// Renders the served preset reads of `batch` (filled by AddPresetReads and
// an exchange): "label  value" per row, or "label  0xOFFSET  hex bytes"
// when `raw`.
std::string RenderPreset(const RequestBatch& batch, bool raw);

}  // namespace tarvos::client

#endif  // TARVOS_CLIENT_WATCH_PRESET_H_
