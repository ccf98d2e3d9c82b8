#include "offsets/scaled_rows.h"

#include <cstring>

#include "XPLMDataAccess.h"
#include "offsets/convert.h"
#include "offsets/offset_block.h"
#include "offsets/reference_tables.h"

namespace tarvos {
namespace {

double SourceValue(const ScaledRead& r) {
  XPLMDataRef h = r.table == HandleTable::kVariables
                      ? VariablesAccessMemBlock[r.slot]
                      : DataRefMemBlock[r.slot];
  switch (r.accessor) {
    case Accessor::kFloat:
      return XPLMGetDataf(h);
    case Accessor::kDouble:
      return XPLMGetDatad(h);
    case Accessor::kInt:
      return XPLMGetDatai(h);
    case Accessor::kFloatElement: {
      float v = 0;
      XPLMGetDatavf(h, &v, r.element, 1);
      return v;
    }
    case Accessor::kIntElement: {
      int v = 0;
      XPLMGetDatavi(h, &v, r.element, 1);
      return v;
    }
    case Accessor::kNone:
      break;
  }
  return 0;
}

}  // namespace

void RefreshScaledRow(const OffsetRow& row) {
  const ScaledRead& r = row.read;
  if (r.accessor == Accessor::kNone) return;
  const double factor =
      r.factor_held_as_float ? FloatConst(r.factor) : r.factor;
  double v = SourceValue(r) * factor;
  if (r.not_negative && v < 0) v = 0;
  uint8_t bytes[8];
  if (row.encoding == Encoding::kF64) {
    StoreF64(bytes, v);
  } else if (row.encoding == Encoding::kF32) {
    StoreF32(bytes, HeldAsFloat(v));
  } else {
    // Integers: truncated (or rounded), then the low bytes of the field.
    StoreS64(bytes, r.rounded ? RoundHalfAway(v) : TruncToInt(v));
  }
  const size_t size = row.size < 8 ? row.size : 8;
  if (!OffsetLock.TryAcquire()) return;
  std::memcpy(OffsetBlock + row.offset, bytes, size);
  OffsetLock.Release();
}

}  // namespace tarvos
