// Write handlers for the radio stack, the altimeter setting, the course
// selectors and the active/standby swap switches.
//
// clang-format off
//   Offset  Size  Value                  Test       Action
//   0x02D4  2     BCD                    Always     adf2_freq_hz := decoded
//   0x0330  2     u16 hPa x 16           On change  barometer_setting := inHg
//   0x034C  2     BCD                    Always     adf1_freq_hz := decoded
//   0x034E  2     BCD                    Always     com1_freq_hz := 10000 + decoded
//   0x0350  2     BCD                    Always     nav1_freq_hz := 10000 + decoded
//   0x0352  2     BCD                    Always     nav2_freq_hz := 10000 + decoded
//   0x0354  2     BCD                    Always     transponder_code := decoded
//   0x0C4E  2     u16 degrees            Always     nav1_obs_degm := value
//   0x0C5E  2     u16 degrees            Always     nav2_obs_degm := value
//   0x3118  2     BCD                    Always     com2_freq_hz := 10000 + decoded
//   0x311A  2     BCD                    Always     com1_stdby_freq_hz := 10000 + ...
//   0x311C  2     BCD                    Always     com2_stdby_freq_hz := 10000 + ...
//   0x311E  2     BCD                    Always     nav1_stdby_freq_hz := 10000 + ...
//   0x3120  2     BCD                    Always     nav2_stdby_freq_hz := 10000 + ...
//   0x3123  1     swap bits              Always     swap active and standby
//   0x6D8C  1     u8                     On change  transponder_mode := value
// clang-format on
//
// A BCD word with a nibble above 9 is no frequency or code (0x2A00 would
// tune 130.00 MHz): it reaches no dataref. The bytes are still stored by the
// transport and overwritten by the next refresh.
//
// Threads: run on a transport thread with OffsetLock held; they call the
// host's getters and setters from that thread.
#include <cstdint>
#include <span>

#include "XPLMDataAccess.h"
#include "offsets/coding.h"
#include "offsets/radio.h"
#include "offsets/reference_tables.h"
#include "requests/write_handlers.h"

namespace tarvos {
namespace {

// inHg per unit of hPa x 16.
constexpr double kInHgPerUnit = 0.001845629374974127;
// COM and NAV frequencies are held in 10 kHz with the leading 1 of the MHz.
constexpr int kMegahertzHundred = 10000;

// A BCD frequency or code to its dataref, `base` added; nothing for a word
// that is not BCD.
void SetBcd(uint32_t offset, const uint8_t* v, int base) {
  const int32_t decoded = DecodeBcd4(LoadU16(v));
  if (decoded < 0) return;
  XPLMSetDatai(DataRefMemBlock[offset], base + decoded);
}

// 0x034E, 0x0350, 0x0352, 0x3118 to 0x3120: COM and NAV frequencies.
void WriteFrequency(uint32_t offset, const uint8_t* v) {
  SetBcd(offset, v, kMegahertzHundred);
}

// 0x02D4, 0x034C, 0x0354: ADF frequencies and the transponder code.
void WritePlainBcd(uint32_t offset, const uint8_t* v) { SetBcd(offset, v, 0); }

// 0x0330: altimeter setting, hPa x 16.
void WriteBarometer(uint32_t offset, const uint8_t* v) {
  XPLMSetDataf(DataRefMemBlock[offset],
               static_cast<float>(LoadU16(v) * kInHgPerUnit));
}

// 0x0C4E, 0x0C5E: course selectors, whole degrees.
void WriteObs(uint32_t offset, const uint8_t* v) {
  XPLMSetDataf(DataRefMemBlock[offset], static_cast<float>(LoadU16(v)));
}

// 0x6D8C: transponder mode.
void WriteTransponderMode(uint32_t offset, const uint8_t* v) {
  XPLMSetDatai(DataRefMemBlock[offset], LoadU8(v));
}

// One radio's active and standby frequencies exchanged.
void Swap(uint32_t active, uint32_t standby) {
  const int stand = XPLMGetDatai(DataRefMemBlock[standby]);
  const int act = XPLMGetDatai(DataRefMemBlock[active]);
  XPLMSetDatai(DataRefMemBlock[standby], act);
  XPLMSetDatai(DataRefMemBlock[active], stand);
}

// 0x3123: bit 0 NAV2, bit 1 NAV1, bit 3 COM1, bit 2 COM2, in that order.
void WriteSwap(uint32_t, const uint8_t* v) {
  const uint8_t bits = LoadU8(v);
  if (bits & 0x01) Swap(0x0352, 0x3120);
  if (bits & 0x02) Swap(0x0350, 0x311E);
  if (bits & 0x08) Swap(0x034E, 0x311A);
  if (bits & 0x04) Swap(0x3118, 0x311C);
}

constexpr WriteTest kAlways = WriteTest::kAlways;
constexpr WriteTest kOnChange = WriteTest::kOnChange;

constexpr WriteHandler kHandlers[] = {
    {0x02D4, 2, kAlways, WritePlainBcd},
    {0x0330, 2, kOnChange, WriteBarometer},
    {0x034C, 2, kAlways, WritePlainBcd},
    {0x034E, 2, kAlways, WriteFrequency},
    {0x0350, 2, kAlways, WriteFrequency},
    {0x0352, 2, kAlways, WriteFrequency},
    {0x0354, 2, kAlways, WritePlainBcd},
    {0x0C4E, 2, kAlways, WriteObs},
    {0x0C5E, 2, kAlways, WriteObs},
    {0x3118, 2, kAlways, WriteFrequency},
    {0x311A, 2, kAlways, WriteFrequency},
    {0x311C, 2, kAlways, WriteFrequency},
    {0x311E, 2, kAlways, WriteFrequency},
    {0x3120, 2, kAlways, WriteFrequency},
    {0x3123, 1, kAlways, WriteSwap},
    {0x6D8C, 1, kOnChange, WriteTransponderMode},
};

}  // namespace

std::span<const WriteHandler> RadioWriteHandlers() { return kHandlers; }

}  // namespace tarvos
