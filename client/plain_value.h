// Values as bare text for machines: the number in the catalogue row's unit
// without the unit and never with an exponent, so that the simplest parser
// (atof on a microcontroller) reads it. What FormatItemValue shows a person
// ("271.40 deg") and this ("271.40") agree in their digits for fixed-point
// rows.
#ifndef TARVOS_CLIENT_PLAIN_VALUE_H_
#define TARVOS_CLIENT_PLAIN_VALUE_H_

#include <cstdint>
#include <string>

#include "offsets/catalogue.h"

namespace tarvos::client {

// Decimals worth showing for a row's scale: those of one step when it is a
// power of ten (0.01 MHz), one fewer otherwise, so that a value stored in
// steps of 1/128 kt shows as 126.0 and not as 125.99. 0 to 6.
int ScaleDecimals(const OffsetRow& row);

// The item's value from its bytes (the row's size): "271.40", "-3",
// "1342177284"; floats with six significant digits and no trailing zeros
// ("0.000123", "1500000"); a bit set as its decimal integer; text as its
// printable characters (others as '?'). Never "-0": a negative value that
// rounds to zero is "0". Non-finite floats are "nan", "inf" and "-inf".
std::string PlainItemValue(const CatalogueItem& item, const uint8_t* bytes);

}  // namespace tarvos::client

#endif  // TARVOS_CLIENT_PLAIN_VALUE_H_
