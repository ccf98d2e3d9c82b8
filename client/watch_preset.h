// The preset view of `tarvos-client watch`: the most-read values by their
// catalogue names, decoded and labelled, or (raw) the same bytes in
// hexadecimal. A domain joins the view by adding its names to the list in
// watch_preset.cpp.
#ifndef TARVOS_CLIENT_WATCH_PRESET_H_
#define TARVOS_CLIENT_WATCH_PRESET_H_

#include <span>
#include <string>

#include "client/batch.h"

namespace tarvos::client {

struct PresetRow {
  const char* label;
  const char* name;  // catalogue name
  const char* unit;  // shown in this unit where it converts ("" as stored)
};

// The preset, in display order.
std::span<const PresetRow> PresetRows();

// Adds one read per preset row to `batch`, in table order.
void AddPresetReads(RequestBatch& batch);

// Renders the served preset reads of `batch` (filled by AddPresetReads and
// an exchange): "label  value unit" per row, or "label  0xOFFSET  hex
// bytes" when `raw`.
std::string RenderPreset(const RequestBatch& batch, bool raw);

}  // namespace tarvos::client

#endif  // TARVOS_CLIENT_WATCH_PRESET_H_
