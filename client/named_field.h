// Offsets by name: the client's side of the offset catalogue. A name such as
// "position.latitude" or "engine.2.egt" resolves to its catalogue item;
// values are decoded into the row's unit and encoded back through the same
// scale, with every value range-checked against the field.
#ifndef TARVOS_CLIENT_NAMED_FIELD_H_
#define TARVOS_CLIENT_NAMED_FIELD_H_

#include <cstdint>
#include <string>
#include <vector>

#include "offsets/catalogue.h"

namespace tarvos::client {

// The item called `name`. On failure returns a message that names the
// closest matches (or, for a prefix of several names, the names it starts).
std::string ResolveName(const std::string& name, CatalogueItem* item);

// The item's full name ("engine.2.egt").
std::string ItemFullName(const CatalogueItem& item);

// The value in the row's unit: "46.500000 deg", "LH 5363", "0x0300".
std::string FormatItemValue(const CatalogueItem& item, const uint8_t* bytes);

// The same, converted to another unit a person may prefer ("ft" for "m",
// "kt" or "ft/min" for "m/s"); in the row's unit when there is no such
// conversion.
std::string FormatItemValueIn(const CatalogueItem& item, const uint8_t* bytes,
                              const char* unit);

// Empty when a client may write the item. For a read-only one (the plugin
// overwrites it with the simulator's value at its next refresh) the
// refusal every client library gives, in the same words:
// "NAME is read-only: the plugin overwrites it with the simulator's value".
std::string WriteRefusal(const CatalogueItem& item);

// Encodes a value given in the row's unit into exactly the row's size in
// bytes. Angles are taken modulo 360 degrees; a value outside the field's
// range, or text longer than the field leaves room for, is refused with the
// range in the message. Empty string on success.
std::string EncodeItemValue(const CatalogueItem& item, const std::string& text,
                            std::vector<uint8_t>* bytes);

// Rows matching a pattern: a name with '*' wildcards, or else every row
// whose name contains the text (all rows for an empty pattern).
bool RowMatches(const OffsetRow& row, const std::string& pattern);

// The catalogue as a table for a terminal, as JSON for other tools, and as
// the Markdown reference (docs/offsets.md).
std::string DescribeTable(const std::string& pattern);
std::string DescribeJson();
std::string DescribeMarkdown();

}  // namespace tarvos::client

#endif  // TARVOS_CLIENT_NAMED_FIELD_H_
