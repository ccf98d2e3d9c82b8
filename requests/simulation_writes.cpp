#include "requests/simulation_writes.h"

#include <cstring>
#include <span>

#include "XPLMDataAccess.h"
#include "XPLMUtilities.h"
#include "offsets/coding.h"
#include "offsets/convert.h"
#include "offsets/offset_block.h"
#include "offsets/reference_tables.h"
#include "requests/write_handlers.h"
#include "settings/settings.h"

namespace tarvos {
namespace {

// Handle slots (DataRefMemBlock).
constexpr uint32_t kZuluTime = 0x023B;     // sim/time/zulu_time_sec (f)
constexpr uint32_t kDateDays = 0x023E;     // sim/time/local_date_days (i)
constexpr uint32_t kPaused = 0x0264;       // sim/time/paused (i)
constexpr uint32_t kSimSpeed = 0x0C1A;     // sim/time/sim_speed (i)
constexpr uint32_t kPushback = 0x31F4;     // goodway/xpushback/PBstatus (i)
constexpr uint32_t kFailureBits = 0x6DA4;  // sim/operation/failures/failures
constexpr uint32_t kAllFailures = 0x6DAA;  // the same array

constexpr int kLastHour = 23;
constexpr int kLastMinute = 59;
constexpr uint16_t kLastDayIndex = 365;
// The host's pause key; it toggles pause.
constexpr XPLMCommandKeyID kPauseKey = xplm_key_pause;

// The whole hours and minutes of the UTC time of day, counted through
// unsigned 32-bit integers as the offsets publish them.
struct HourMinute {
  uint32_t hour;
  uint32_t minute;
};
HourMinute ZuluHourMinute() {
  const double z = XPLMGetDataf(DataRefMemBlock[kZuluTime]);
  const uint32_t h = Low32(TruncToInt(z * 0.0002777777777777778));
  const uint32_t m = Low32(TruncToInt((z - h * 3600.0) * 0.016666666666666666));
  return {h, m};
}

void SetZuluSeconds(double seconds) {
  XPLMSetDataf(DataRefMemBlock[kZuluTime], HeldAsFloat(seconds));
}

// 0x023B: UTC hour; the minutes stay, the seconds become 0. An hour past
// 23 would move the clock days ahead and is ignored.
void WriteZuluHour(uint32_t, const uint8_t* v) {
  if (v[0] > kLastHour) return;
  const HourMinute now = ZuluHourMinute();
  SetZuluSeconds(v[0] * 3600.0 + now.minute * 60.0);
}

// 0x023C: UTC minute; the hour stays, the seconds become 0. A minute past
// 59 is ignored.
void WriteZuluMinute(uint32_t, const uint8_t* v) {
  if (v[0] > kLastMinute) return;
  const HourMinute now = ZuluHourMinute();
  SetZuluSeconds(now.hour * 3600.0 + v[0] * 60.0);
}

// 0x023E: day of year counted from 1; the simulator counts from 0. Day 0
// and days past 366 wrap to the first day.
void WriteDayOfYear(uint32_t, const uint8_t* v) {
  uint16_t d = static_cast<uint16_t>(LoadU16(v) - 1);
  if (d > kLastDayIndex) d = 0;
  XPLMSetDatai(DataRefMemBlock[kDateDays], d);
}

// 0x0240: the year has no simulator counterpart; it is kept as written.
void WriteYear(uint32_t offset, const uint8_t* v) REQUIRES(OffsetLock) {
  std::memcpy(OffsetBlock + offset, v, 2);
}

// 0x0262: pause. The host only offers a key that toggles, and the byte
// compared by the change test is refreshed every few dozen frames, so the
// key goes only when the simulator is not already in the requested state.
void WritePause(uint32_t, const uint8_t* v) {
  const bool pause = v[0] != 0;
  const bool paused = XPLMGetDatai(DataRefMemBlock[kPaused]) != 0;
  if (pause != paused) XPLMCommandKeyStroke(kPauseKey);
}

// 0x0C1A: simulation rate x 256; the simulator takes whole rates.
void WriteSimulationRate(uint32_t, const uint8_t* v) {
  XPLMSetDatai(DataRefMemBlock[kSimSpeed], LoadU16(v) / 256);
}

// 0x31F4: pushback control, mapped onto the pushback plugin's status. The
// handle belongs to that plugin: without it loaded nothing is written.
void WritePushback(uint32_t, const uint8_t* v) {
  if (XPushbackPresent.load() == 0) return;
  int status = 0;
  switch (LoadU32(v)) {
    case 0:
      status = 1;
      break;
    case 1:
      status = 3;
      break;
    case 2:
      status = 2;
      break;
    default:
      status = 0;
      break;
  }
  XPLMSetDatai(DataRefMemBlock[kPushback], status);
}

// 0x3130, 0x313C, 0x3148, 0x3160: ATC texts. A client's text is cut to its
// field (the last byte is always the terminator); the save of the key is
// queued and written after OffsetLock is released.
void WriteAtcText(uint32_t offset, const uint8_t* v) REQUIRES(OffsetLock) {
  AtcField field = AtcField::kFlightNumber;
  size_t size = 12;
  switch (offset) {
    case kAtcFlightNumberOffset:
      break;
    case kAtcTailNumberOffset:
      field = AtcField::kTailNumber;
      break;
    case kAtcAirlineNameOffset:
      field = AtcField::kAirlineName;
      size = 24;
      break;
    default:
      field = AtcField::kAircraftType;
      size = 24;
      break;
  }
  char text[24] = {};
  std::memcpy(text, v, size);
  text[size - 1] = '\0';
  PublishAtcText(field, text, strnlen(text, size - 1));
}

// 0x6DA4: failure bits, each failing (5) or mending (0) its element, then
// the button that makes the simulator take the new failures.
void WriteFailureBits(uint32_t, const uint8_t* v) {
  const uint32_t bits = LoadU32(v);
  for (int b = 0; b < kFailureBitCount; ++b) {
    int value = (bits >> b) & 1u ? kFailurePresent : 0;
    XPLMSetDatavi(DataRefMemBlock[kFailureBits], &value, kFailureElements[b],
                  1);
  }
  XPLMCommandButtonPress(kFailuresButton);
  XPLMCommandButtonRelease(kFailuresButton);
}

// 0x6DAA: one value for every failure element, in one call.
void WriteAllFailures(uint32_t, const uint8_t* v) {
  static_assert(kAllFailuresCount > 0);
  int values[kAllFailuresCount];
  for (int& value : values) value = v[0];
  XPLMSetDatavi(DataRefMemBlock[kAllFailures], values, 0, kAllFailuresCount);
}

constexpr WriteTest kOnChange = WriteTest::kOnChange;

constexpr WriteHandler kHandlers[] = {
    {0x023B, 1, kOnChange, WriteZuluHour},
    {0x023C, 1, kOnChange, WriteZuluMinute},
    {0x023E, 2, kOnChange, WriteDayOfYear},
    {0x0240, 2, kOnChange, WriteYear},
    {0x0262, 1, kOnChange, WritePause},
    {0x0C1A, 2, kOnChange, WriteSimulationRate},
    {0x3130, 12, kOnChange, WriteAtcText},
    {0x313C, 12, kOnChange, WriteAtcText},
    {0x3148, 24, kOnChange, WriteAtcText},
    {0x3160, 24, kOnChange, WriteAtcText},
    {0x31F4, 4, kOnChange, WritePushback},
    {0x6DA4, 4, kOnChange, WriteFailureBits},
    {0x6DAA, 1, kOnChange, WriteAllFailures},
};

}  // namespace

std::span<const WriteHandler> SimulationWriteHandlers() { return kHandlers; }

}  // namespace tarvos
