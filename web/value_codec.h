// Catalogue names and values as JSON: the browser's side of the offset
// catalogue. Values are numbers in the row's unit (text rows as strings);
// writes are range-checked and encoded by the client library's codec, so a
// browser is refused in the same words as every other client.
#ifndef TARVOS_WEB_VALUE_CODEC_H_
#define TARVOS_WEB_VALUE_CODEC_H_

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "client/name_glob.h"
#include "offsets/catalogue.h"

namespace tarvos::web {

// The value of an item as JSON text: a number in the row's unit, or a
// string for a text row.
std::string ValueJson(const CatalogueItem& item, const uint8_t* bytes);

// A JSON value for an item encoded into the row's size in bytes. Empty on
// success, else why not: a value of the wrong kind, out of range (with the
// range in the row's unit), text too long. Read-only rows are not checked
// here (WriteRefusal).
std::string EncodeJsonValue(const CatalogueItem& item,
                            const nlohmann::json& value,
                            std::vector<uint8_t>* bytes);

// Every item of the catalogue (tables expanded) with its full name, in
// catalogue order; built once, read by any thread.
struct NamedItem {
  CatalogueItem item;
  std::string name;
};
const std::vector<NamedItem>& AllItems();

// Names and globs ('*' matching any run of characters, over the whole
// name) resolved to indices into AllItems(), in the order given, each item
// once. An unknown name gives the client library's message with the
// closest names; a glob that matches nothing says so.
std::string ResolveNames(const std::vector<std::string>& names,
                         std::vector<uint32_t>* items);

// Whether `name` matches the glob `pattern` ('*' only).
using client::GlobMatches;

// The catalogue rows matching `pattern` (as RowMatches takes it), one per
// item with tables expanded: name, offset, size, encoding, unit, access,
// summary.
nlohmann::json CatalogueRows(const std::string& pattern);

}  // namespace tarvos::web

#endif  // TARVOS_WEB_VALUE_CODEC_H_
