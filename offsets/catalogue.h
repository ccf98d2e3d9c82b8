// The offset catalogue: one row per published item of the offset space, with
// its encoding, name, unit, scale, access and where its value comes from.
//
// The catalogue is the one description of the offset map that the plugin,
// the client library, the command-line client, the Python client and the
// generated reference all share, and the suite checks it against what the
// converters and handlers really do. It is constexpr data in read-only
// storage: no heap, no initialisation at run time, safe to read from any
// thread.
//
// A row's engineering value is  raw x scale + bias, where raw is the stored
// integer (or float) read little-endian. A row may describe a table: it is
// repeated `repeat` times, `stride` bytes apart, and its name carries a '#'
// that stands for the record's number (first_index, first_index + 1, ...).
#ifndef TARVOS_OFFSETS_CATALOGUE_H_
#define TARVOS_OFFSETS_CATALOGUE_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace tarvos {

enum class Encoding : uint8_t {
  kU8,
  kU16,
  kU32,
  kU64,
  kS8,
  kS16,
  kS32,
  kS64,
  kF32,
  kF64,
  kBcd4,       // four BCD digits in 16 bits
  kBcd3,       // three BCD digits in the low 12 bits of 16
  kText,       // ASCII, zero-terminated within its size
  kBits,       // a set of flags; shown in hexadecimal
  kLatitude,   // s64 fixed point, 10001750 x 2^32 units per 90 degrees
  kLongitude,  // s64 fixed point, 2^64 units per 360 degrees
  kFixed3232,  // u32 fraction then s32 whole part: an s64 in units of 2^-32
  kAngle16,    // u16, 65536 units per turn; written modulo 360 degrees
  kAngle32,    // u32, 2^32 units per turn; written modulo 360 degrees
  kAngleS32,   // s32, 2^32 units per turn, signed; written modulo 360
};

enum class Access : uint8_t {
  kRead,       // a client write is stored and overwritten by the next refresh
  kReadWrite,  // a write is acted on (a handler) or kept (a client-owned row)
  kWrite,      // a write is acted on; nothing publishes a value there
};

// Where a row's value comes from.
enum class Source : uint8_t {
  kCallbackA,
  kCallbackB,
  kCallbackC,
  kCallbackD,
  kCallbackE,
  kCallbackF,
  kCallbackG,
  kCallbackH,
  kCallbackI,
  kReadTime,      // recomputed from the simulator when a client reads it
  kAircraftLoad,  // computed once per user-aircraft load
  kConstant,      // stored once when the plugin starts
  kLifecycle,     // stored on a host notification (aircraft loaded, crash)
  kSettings,      // from TARVOS.ini, stored when the plugin is enabled
  kTraffic,       // the traffic threads
  kClient,        // client-owned: whatever a client wrote, kept as written
  kNone,          // write-only: a handler acts, nothing publishes
};

inline constexpr uint16_t kNoAlias = 0xFFFF;

// How a plain row is computed when it is one scaled read of one dataref:
// stored = source x factor, made an integer by truncation toward zero (or
// rounding, halves away from zero) and narrowed to the row's width. Rows
// with logic of their own (searches, pairs stored together, state) keep
// hand-written converters and leave this empty.
enum class Accessor : uint8_t {
  kNone,          // not a plain scaled read
  kFloat,         // XPLMGetDataf
  kDouble,        // XPLMGetDatad
  kInt,           // XPLMGetDatai
  kFloatElement,  // XPLMGetDatavf, one element
  kIntElement,    // XPLMGetDatavi, one element
};
enum class HandleTable : uint8_t { kDataRefs, kVariables };

struct ScaledRead {
  Accessor accessor = Accessor::kNone;
  HandleTable table = HandleTable::kDataRefs;
  bool factor_held_as_float = false;  // the factor in single precision
  bool rounded = false;               // round instead of truncate
  bool not_negative = false;          // a negative source value stores 0
  uint16_t slot = 0;                  // handle slot in the table
  uint16_t element = 0;               // array element
  double factor = 1.0;
};

struct OffsetRow {
  uint16_t offset = 0;
  uint16_t size = 0;
  Encoding encoding = Encoding::kU8;
  Access access = Access::kRead;
  Source source = Source::kNone;
  const char* name = "";     // stable dotted name, '#' in a table's rows
  const char* unit = "";     // engineering unit of raw x scale + bias
  double scale = 1.0;        //
  double bias = 0.0;         //
  const char* summary = "";  // one line for people
  // The row that holds the same value (in another encoding or at another
  // width): an alias may overlap it and need not be refreshed on its own.
  uint16_t alias_of = kNoAlias;
  uint16_t repeat = 1;       // records in the table
  uint16_t stride = 0;       // bytes between records
  uint16_t first_index = 1;  // number of the first record in the name
  ScaledRead read;           // a plain row's conversion, if it is one

  // The row's value is `accessor`(handle slot) x factor.
  constexpr OffsetRow Reads(Accessor accessor, uint16_t slot,
                            double factor) const {
    OffsetRow r = *this;
    r.read.accessor = accessor;
    r.read.slot = slot;
    r.read.factor = factor;
    return r;
  }
  // The same with the factor held in single precision, as some conversions
  // were calibrated.
  constexpr OffsetRow ReadsFloatFactor(Accessor accessor, uint16_t slot,
                                       double factor) const {
    OffsetRow r = Reads(accessor, slot, factor);
    r.read.factor_held_as_float = true;
    return r;
  }
  constexpr OffsetRow Element(uint16_t element) const {
    OffsetRow r = *this;
    r.read.element = element;
    return r;
  }
  constexpr OffsetRow FromVariables() const {
    OffsetRow r = *this;
    r.read.table = HandleTable::kVariables;
    return r;
  }
  constexpr OffsetRow Rounded() const {
    OffsetRow r = *this;
    r.read.rounded = true;
    return r;
  }
  constexpr OffsetRow NotNegative() const {
    OffsetRow r = *this;
    r.read.not_negative = true;
    return r;
  }

  // Builders, so that the tables read as one line per row.
  constexpr OffsetRow Alias(uint16_t of) const {
    OffsetRow r = *this;
    r.alias_of = of;
    return r;
  }
  constexpr OffsetRow Bias(double b) const {
    OffsetRow r = *this;
    r.bias = b;
    return r;
  }
  constexpr OffsetRow Table(uint16_t records, uint16_t bytes_apart,
                            uint16_t first = 1) const {
    OffsetRow r = *this;
    r.repeat = records;
    r.stride = bytes_apart;
    r.first_index = first;
    return r;
  }
};

constexpr OffsetRow Row(uint16_t offset, uint16_t size, Encoding encoding,
                        Access access, Source source, const char* name,
                        const char* unit, double scale, const char* summary) {
  OffsetRow r;
  r.offset = offset;
  r.size = size;
  r.encoding = encoding;
  r.access = access;
  r.source = source;
  r.name = name;
  r.unit = unit;
  r.scale = scale;
  r.summary = summary;
  return r;
}

// One domain's rows, in offset order.
struct CatalogueDomain {
  const char* title;  // "Position and attitude"
  std::span<const OffsetRow> rows;
};

// Every domain, in the order of the reference.
std::span<const CatalogueDomain> CatalogueDomains();

// One record of a row: a single item, or one record of a table.
struct CatalogueItem {
  const OffsetRow* row = nullptr;
  uint32_t offset = 0;  // of this record
  uint32_t index = 0;   // record number (as in the name)
};

// Calls `visit` for every item of every row (tables expanded), in domain
// and row order.
template <typename Visit>
void ForEachCatalogueItem(Visit&& visit) {
  for (const CatalogueDomain& d : CatalogueDomains()) {
    for (const OffsetRow& r : d.rows) {
      for (uint32_t k = 0; k < r.repeat; ++k) {
        visit(CatalogueItem{&r, r.offset + k * uint32_t{r.stride},
                            r.first_index + k});
      }
    }
  }
}

// The item's full name, '#' replaced by its record number, into `out` (at
// least kMaxItemName bytes). Returns the name's length.
inline constexpr size_t kMaxItemName = 96;
size_t ItemName(const CatalogueItem& item, char* out);

// The item with exactly this name; row null when there is none.
CatalogueItem FindCatalogueItem(std::string_view name);
// The row (not an alias) of the single item starting at `offset`; null
// when there is none.
const OffsetRow* FindRowAt(uint32_t offset);

// Names of the text forms of the enums, as the reference prints them.
const char* EncodingName(Encoding e);  // "s64", "bcd4", "lat64", ...
const char* AccessName(Access a);      // "r", "rw", "w"
const char* SourceName(Source s);      // "A" ... "I", "read", "load", ...

// --- Raw values --------------------------------------------------------------

// Whether the encoding is a number (everything but text and bit sets still
// decodes to a number; text does not).
bool IsNumeric(Encoding e);
// The stored number of a numeric item (the integer or float as stored,
// before scale and bias). `bytes` holds the row's size.
double LoadRaw(const OffsetRow& row, const uint8_t* bytes);
// raw x scale + bias.
double DecodeValue(const OffsetRow& row, const uint8_t* bytes);
// The smallest and largest raw number the encoding can store.
void RawRange(const OffsetRow& row, double* min, double* max);

}  // namespace tarvos

#endif  // TARVOS_OFFSETS_CATALOGUE_H_
