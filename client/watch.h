// The view of `tarvos-client watch`: a list of labelled, typed fields read
// in one batch per poll and rendered as aligned lines. Presets (labelled
// views of the most-read values) are lists of WatchField like any other.
#ifndef TARVOS_CLIENT_WATCH_H_
#define TARVOS_CLIENT_WATCH_H_

#include <string>
#include <vector>

#include "client/batch.h"
#include "client/field.h"
#include "offsets/catalogue.h"

namespace tarvos::client {

struct WatchField {
  std::string label;  // shown left; the field's name when empty
  Field field;        // offset and size (and the type of an OFFSET:TYPE)
  // A field given by name: decoded through its catalogue row.
  CatalogueItem item;
  bool raw = false;  // show the bytes in hexadecimal
};

// A field from a command-line argument: a catalogue name
// ("position.latitude") or OFFSET:TYPE ("0x0560:s64"). Empty string on
// success.
std::string ParseWatchField(const std::string& text, WatchField* field);

// Adds one read per field to `batch`, in order (read index = field index).
void AddWatchReads(const std::vector<WatchField>& fields, RequestBatch& batch);

// Renders the served values: one "label  value" line per field, labels
// padded to a common width.
std::string RenderWatch(const std::vector<WatchField>& fields,
                        const RequestBatch& batch);

}  // namespace tarvos::client

#endif  // TARVOS_CLIENT_WATCH_H_
