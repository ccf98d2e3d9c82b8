#include "offsets/radio.h"

#include <cmath>
#include <cstring>

#include "XPLMDataAccess.h"
#include "offsets/convert.h"
#include "offsets/field_store.h"
#include "offsets/reference_tables.h"

namespace tarvos {
namespace {

// Needle deflection units per dot.
constexpr double kNeedlePerDot = 50.9;
// Degrees to the 16-bit circle.
constexpr double kCirclePerDegree = 182.044444444444;
// The handle slot of the nav_type array in VariablesAccessMemBlock.
constexpr uint16_t kNavTypeSlot = 0x0003;
// Aircraft position slots (doubles).
constexpr uint16_t kLatitudeSlot = 0x0560;
constexpr uint16_t kLongitudeSlot = 0x0568;
// How far the aircraft may move before a kept navaid answer is asked again.
constexpr double kCacheRadiusNm = 0.1;

constexpr size_t kIdentSize = 6;
constexpr size_t kNameSize = 25;

// The offsets of one NAV receiver.
struct Receiver {
  int number;               // 1 or 2
  uint16_t frequency;       // slot of the frequency dataref
  uint16_t first[3];        // VOR or glide slope: latitude, longitude, height
  uint16_t second[3];       // VOR or localizer
  uint16_t course;          // localizer course
  uint16_t slope;           // glide slope angle; also the slope's slot
  uint16_t tuned_flags;     // 0x0C4A / 0x0C5A
  uint16_t receiver_flags;  // 0x0C4D / 0x0C70; also the has-DME slot
  uint16_t ident, name;
  uint16_t present;  // always 1
};

constexpr Receiver kNav1 = {1,
                            0x0350,
                            {0x085C, 0x0864, 0x086C},
                            {0x0874, 0x0878, 0x087C},
                            0x0870,
                            0x0872,
                            0x0C4A,
                            0x0C4D,
                            0x3000,
                            0x3006,
                            0x07A0};
constexpr Receiver kNav2 = {2,
                            0x0352,
                            {0x0858, 0x0860, 0x0868},
                            {0x084C, 0x0850, 0x0854},
                            0x0844,
                            0x0846,
                            0x0C5A,
                            0x0C70,
                            0x301F,
                            0x3025,
                            0x07A4};

// What one receiver's last run found, and the kept answer of its last
// fresh search. Main thread only.
struct ReceiverState {
  int kind = 0;
  char id[sizeof(NavaidInfo::id)] = {};
  char name[sizeof(NavaidInfo::name)] = {};
  bool kept = false;  // `answer` holds the last search
  int frequency = 0;
  float latitude = 0, longitude = 0;  // where it was made
  NavaidAnswer answer;
};
ReceiverState nav_state[2];

// The radio flags word, kept between runs of E and F. Main thread only.
uint16_t radio_flags = 0;

bool cache_enabled = true;
uint64_t search_count = 0;

ReceiverState& StateOf(const Receiver& r) { return nav_state[r.number - 1]; }

// A terminated copy of at most size - 1 characters, zeros after it.
void CopyText(char* dst, size_t size, const char* src) {
  size_t n = 0;
  while (n + 1 < size && src[n] != '\0') {
    dst[n] = src[n];
    ++n;
  }
  std::memset(dst + n, 0, size - n);
}

bool ReadInfo(XPLMNavRef ref, NavaidInfo* info) {
  if (ref == XPLM_NAV_NOT_FOUND) return false;
  XPLMGetNavAidInfo(ref, &info->type, &info->latitude, &info->longitude,
                    &info->height, nullptr, &info->heading, info->id,
                    info->name, nullptr);
  // The host fills bounded buffers; keep them terminated whatever it does.
  info->id[sizeof info->id - 1] = '\0';
  info->name[sizeof info->name - 1] = '\0';
  return true;
}

double MovedNm(float lat0, float lon0, float lat1, float lon1) {
  const double rad = 3.14159265358979323846 / 180.0;
  double north = (double{lat1} - lat0) * 60.0;
  double east = (double{lon1} - lon0) * 60.0 * std::cos(double{lat0} * rad);
  return std::sqrt(north * north + east * east);
}

void StageTriple(FieldBatch& b, const uint16_t at[3], const NavaidInfo& n) {
  b.U32(at[0], EncodeStationLatitude(n.latitude));
  b.U32(at[1], EncodeStationLongitude(n.longitude));
  b.U32(at[2], EncodeStationHeight(n.height));
}

void ReadNavTypes(int out[4]) {
  for (int e = 0; e < 4; ++e) out[e] = 0;
  XPLMGetDatavi(VariablesAccessMemBlock[kNavTypeSlot], out, 0, 4);
}

// The search of E (NAV1) or F (NAV2): asks the host (or reuses its kept
// answer), then stores the station fields it found.
void RunSearch(const Receiver& r) {
  ReceiverState& s = StateOf(r);
  const int frequency = XPLMGetDatai(DataRefMemBlock[r.frequency]);
  const float lat = HeldAsFloat(XPLMGetDatad(DataRefMemBlock[kLatitudeSlot]));
  const float lon = HeldAsFloat(XPLMGetDatad(DataRefMemBlock[kLongitudeSlot]));
  const bool reuse =
      cache_enabled && s.kept && frequency == s.frequency &&
      MovedNm(s.latitude, s.longitude, lat, lon) < kCacheRadiusNm;
  if (!reuse) {
    s.answer = SearchNavaids(frequency, lat, lon);
    s.kept = true;
    s.frequency = frequency;
    s.latitude = lat;
    s.longitude = lon;
    ++search_count;
  }
  const NavaidAnswer& a = s.answer;

  s.kind = 0;
  if (!a.found) {
    CopyText(s.id, sizeof s.id, "0");
    CopyText(s.name, sizeof s.name, "0");
    return;  // the station fields keep their last values
  }
  FieldBatch b;
  const NavaidInfo* last = &a.station;
  if (a.station.type == xplm_Nav_VOR) {
    StageTriple(b, r.first, a.station);
    StageTriple(b, r.second, a.station);
    s.kind = xplm_Nav_VOR;
  } else {
    if (a.glide_slope) {
      last = &a.slope;
      StageTriple(b, r.first, a.slope);
      const float slope = XPLMGetDataf(DataRefMemBlock[r.slope]);
      b.U16(r.slope, EncodeGlideSlopeAngle(a.slope.type, slope));
      s.kind = xplm_Nav_GlideSlope;
    }
    last = &a.course;
    b.U16(r.course, EncodeLocalizerCourse(a.course.type, a.course.heading));
    StageTriple(b, r.second, a.course);
    s.kind |= a.course_type;
  }
  CopyText(s.id, sizeof s.id, last->id);
  CopyText(s.name, sizeof s.name, last->name);
  b.TryStore();
}

void StoreFlags(const Receiver& r) {
  const ReceiverState& s = StateOf(r);
  const int has_dme = XPLMGetDatai(DataRefMemBlock[r.receiver_flags]);
  int nav_type[4];
  ReadNavTypes(nav_type);
  FieldBatch b;
  b.U8(r.tuned_flags, EncodeTunedFlags(s.kind));
  b.U8(r.receiver_flags,
       EncodeReceiverFlags(s.kind, has_dme, nav_type[r.number - 1]));
  b.TryStore();
}

// The first `size` bytes of a text, zeros after its end.
void StageText(FieldBatch& b, uint16_t offset, const char* text, size_t size) {
  uint8_t bytes[kNameSize] = {};
  for (size_t i = 0; i < size && text[i] != '\0'; ++i) {
    bytes[i] = static_cast<uint8_t>(text[i]);
  }
  b.Put(offset, bytes, size);
}

void StoreIdentity(const Receiver& r) {
  const ReceiverState& s = StateOf(r);
  FieldBatch b;
  StageText(b, r.ident, s.id, kIdentSize);
  StageText(b, r.name, s.name, kNameSize);
  b.TryStore();
}

void StoreRadioFlags(const Receiver& r) {
  const ReceiverState& s = StateOf(r);
  const int has_dme = XPLMGetDatai(DataRefMemBlock[r.receiver_flags]);
  int nav_type[4];
  ReadNavTypes(nav_type);
  FieldBatch b;
  b.U16(0x3300,
        UpdateRadioFlags(&radio_flags, r.number, nav_type, has_dme, s.kind));
  b.TryStore();
}

void StorePresent(const Receiver& r) {
  FieldBatch b;
  b.U32(r.present, 1);
  b.TryStore();
}

}  // namespace

// --- Encodings ---------------------------------------------------------------

uint16_t EncodeBcd4(int64_t v) {
  uint64_t n = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  n %= 10000;
  return static_cast<uint16_t>((n / 1000) << 12 | (n / 100 % 10) << 8 |
                               (n / 10 % 10) << 4 | (n % 10));
}

uint16_t EncodeBcd3(int64_t v) {
  uint64_t n = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  return EncodeBcd4(static_cast<int64_t>(n % 1000));
}

int32_t DecodeBcd4(uint16_t bcd) {
  int32_t value = 0;
  for (int shift = 12; shift >= 0; shift -= 4) {
    int digit = (bcd >> shift) & 0xF;
    if (digit > 9) return -1;
    value = value * 10 + digit;
  }
  return value;
}

DmeFields EncodeDme(double nm) {
  static const char kDigits[] = "0123456789";
  // Below zero (or not a number) the read-out shows zero: a negative digit
  // index would read before the digit table.
  if (!(nm > 0)) nm = 0;
  DmeFields f;
  if (nm < 100) {
    int64_t n = TruncToInt(nm * 10);
    f.text[0] = kDigits[n / 100 % 10];
    f.text[1] = kDigits[n / 10 % 10];
    f.text[2] = '.';
    f.text[3] = kDigits[n % 10];
  } else {
    int64_t n = TruncToInt(nm);
    if (n > 999) n = 999;  // three digits are all the read-out has
    f.text[0] = kDigits[n / 100 % 10];
    f.text[1] = kDigits[n / 10 % 10];
    f.text[2] = kDigits[n % 10];
    f.text[3] = '.';
  }
  f.text[4] = '\0';
  int64_t tenths = TruncToInt(nm * 10);
  f.tenths = static_cast<uint16_t>(tenths > 65535 ? 65535 : tenths);
  return f;
}

uint32_t EncodeStationLatitude(float degrees) {
  const double product = double{degrees} * FloatConst(0.011111111380159855) *
                         FloatConst(10001750.0);
  return Low32(RoundHalfAway(HeldAsFloat(product)));
}

uint32_t EncodeStationLongitude(float degrees) {
  const double product = double{degrees} * FloatConst(0.0027777778450399637) *
                         FloatConst(4294967296.0);
  return Low32(RoundHalfAway(HeldAsFloat(product)));
}

uint32_t EncodeStationHeight(float metres) {
  return Low32(RoundHalfAway(metres));
}

uint16_t EncodeLocalizerCourse(XPLMNavType type, float heading) {
  if ((type & (xplm_Nav_ILS | xplm_Nav_Localizer)) == 0) return 0;
  return Low16(RoundHalfAway(HeldAsFloat(heading * kCirclePerDegree)) + 0x8000);
}

uint16_t EncodeGlideSlopeAngle(XPLMNavType type, float slope_degrees) {
  if ((type & xplm_Nav_GlideSlope) == 0) return 0;
  return Low16(RoundHalfAway(HeldAsFloat(slope_degrees * -kCirclePerDegree)));
}

uint8_t EncodeTunedFlags(int kind) {
  return (kind & (xplm_Nav_ILS | xplm_Nav_Localizer)) != 0 ? 0x82 : 0x80;
}

uint8_t EncodeReceiverFlags(int kind, int has_dme, int nav_type) {
  if (kind == 0) return 0;
  uint8_t f = 0x20;
  if (has_dme != 0) f |= 0x01;
  if (nav_type == 0) f |= 0x08;
  if ((kind & (xplm_Nav_ILS | xplm_Nav_GlideSlope)) != 0) f |= 0x40;
  if ((kind & (xplm_Nav_ILS | xplm_Nav_Localizer)) != 0) f |= 0x80;
  return f;
}

int32_t EncodeNavTypeCode(int nav_type) {
  if (nav_type == 3) return 10000;
  if (nav_type >= 4 && nav_type <= 6) return 256;
  return 0;
}

uint16_t UpdateRadioFlags(uint16_t* word, int receiver, const int nav_type[4],
                          int has_dme, int kind) {
  uint16_t w = *word;
  auto put = [&w](int bit, bool on) {
    const uint16_t mask = static_cast<uint16_t>(1u << bit);
    w = on ? static_cast<uint16_t>(w | mask) : static_cast<uint16_t>(w & ~mask);
  };
  const bool ils = (kind & xplm_Nav_ILS) != 0;
  if (receiver == 1) {
    put(1, nav_type[0] != 0);
    put(4, has_dme != 0);
    put(6, ils && (nav_type[0] == 4 || nav_type[0] == 5));
  } else {
    put(2, nav_type[1] != 0);
    put(5, has_dme != 0);
    put(12, ils && (nav_type[1] == 4 || nav_type[1] == 5));
  }
  put(0, false);
  put(3, nav_type[2] != 0);
  put(11, nav_type[3] != 0);
  w &= 0x187F;
  *word = w;
  return w;
}

void EncodeAdfIdent(const uint8_t read[5], uint8_t out[6]) {
  std::memcpy(out, read, 5);
  out[5] = '0';
}

// --- The navaid search -------------------------------------------------------

NavaidAnswer SearchNavaids(int frequency, float latitude, float longitude) {
  NavaidAnswer a;
  float lat = latitude, lon = longitude;
  int freq = frequency;
  a.found = ReadInfo(XPLMFindNavAid(nullptr, nullptr, &lat, &lon, &freq,
                                    xplm_Nav_VOR | xplm_Nav_ILS),
                     &a.station);
  if (!a.found || a.station.type == xplm_Nav_VOR) return a;

  // An ILS: its glide slope and its localizer, by the identifier read.
  char ident[sizeof(NavaidInfo::id)];
  CopyText(ident, sizeof ident, a.station.id);
  a.slope = a.station;
  a.glide_slope = ReadInfo(
      XPLMFindNavAid(nullptr, ident, &lat, &lon, &freq, xplm_Nav_GlideSlope),
      &a.slope);
  // When neither search below finds anything, the values read last stand.
  a.course = a.glide_slope ? a.slope : a.station;
  a.course_type = xplm_Nav_Localizer;
  if (!ReadInfo(
          XPLMFindNavAid(nullptr, ident, &lat, &lon, &freq, xplm_Nav_Localizer),
          &a.course)) {
    a.course_type = xplm_Nav_ILS;
    ReadInfo(XPLMFindNavAid(nullptr, nullptr, &lat, &lon, &freq, xplm_Nav_ILS),
             &a.course);
  }
  return a;
}

void SetNavaidAnswerCache(bool enabled) {
  cache_enabled = enabled;
  nav_state[0].kept = nav_state[1].kept = false;
}

uint64_t NavaidSearchCount() { return search_count; }

// --- Converters --------------------------------------------------------------

void RefreshNeedle(uint16_t byte_offset, uint16_t float_offset) {
  const double v = XPLMGetDataf(DataRefMemBlock[byte_offset]) * kNeedlePerDot;
  uint8_t f[4];
  StoreF32(f, HeldAsFloat(v));
  FieldBatch b;
  b.U8(byte_offset, Low8(TruncToInt(v)));
  b.Put(float_offset, f, 4);
  b.TryStore();
}

void RefreshDme(uint16_t text_offset, uint16_t tenths_offset) {
  DmeFields d = EncodeDme(XPLMGetDataf(DataRefMemBlock[text_offset]));
  FieldBatch b;
  b.Put(text_offset, reinterpret_cast<const uint8_t*>(d.text), sizeof d.text);
  b.U16(tenths_offset, d.tenths);
  b.TryStore();
}

void RefreshBcd(uint16_t offset, bool three_digits) {
  const int v = XPLMGetDatai(DataRefMemBlock[offset]);
  FieldBatch b;
  b.U16(offset, three_digits ? EncodeBcd3(v) : EncodeBcd4(v));
  b.TryStore();
}

void RefreshAdfIdent(uint16_t offset) {
  uint8_t read[5] = {};
  XPLMGetDatab(DataRefMemBlock[offset], read, 0, sizeof read);
  uint8_t out[6];
  EncodeAdfIdent(read, out);
  FieldBatch b;
  b.Put(offset, out, sizeof out);
  b.TryStore();
}

void RefreshNavTypeCode(uint16_t offset, int element) {
  int v = 0;
  XPLMGetDatavi(VariablesAccessMemBlock[kNavTypeSlot], &v, element, 1);
  FieldBatch b;
  b.U32(offset, static_cast<uint32_t>(EncodeNavTypeCode(v)));
  b.TryStore();
}

void ConvertNav1Search() { RunSearch(kNav1); }
void ConvertNav2Search() { RunSearch(kNav2); }
void ConvertNav1Present() { StorePresent(kNav1); }
void ConvertNav2Present() { StorePresent(kNav2); }
void ConvertNav1Flags() { StoreFlags(kNav1); }
void ConvertNav2Flags() { StoreFlags(kNav2); }
void ConvertNav1Identity() { StoreIdentity(kNav1); }
void ConvertNav2Identity() { StoreIdentity(kNav2); }
void ConvertRadioFlagsNav1() { StoreRadioFlags(kNav1); }
void ConvertRadioFlagsNav2() { StoreRadioFlags(kNav2); }

}  // namespace tarvos
