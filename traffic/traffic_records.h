// The traffic tables in the offset space: the 128-byte header at 0xF000,
// one 40-byte traffic record per slot at 0xF080 and one 20-byte attitude
// record per slot at 0xD840, with the pure encoders the slot threads use
// and the nearest-aircraft choice.
//
// Threads: the functions here touch no shared state; any thread may call
// them.
#ifndef TARVOS_TRAFFIC_TRAFFIC_RECORDS_H_
#define TARVOS_TRAFFIC_TRAFFIC_RECORDS_H_

#include <cstddef>
#include <cstdint>
#include <span>

namespace tarvos {

// Wire layout (never change it: clients scan these tables).
inline constexpr int kTrafficSlots = 96;
inline constexpr uint32_t kTrafficHeaderOffset = 0xF000;
inline constexpr size_t kTrafficHeaderSize = 128;
inline constexpr uint32_t kTrafficRecordBase = 0xF080;
inline constexpr size_t kTrafficRecordSize = 40;
inline constexpr uint32_t kAttitudeRecordBase = 0xD840;
inline constexpr size_t kAttitudeRecordSize = 20;

// Byte positions inside the header.
inline constexpr size_t kHeaderRecordSizeAt = 0;  // u16, 40
inline constexpr size_t kHeaderCapacityAt = 2;    // u16, 96
inline constexpr size_t kHeaderSlotCounterAt = 4;
inline constexpr size_t kHeaderTickAt = 6;
inline constexpr size_t kHeaderHeartbeatAt = 8;  // + slot, u8 each
inline constexpr size_t kHeaderNearestAt = 0x7E;

// Byte positions inside a traffic record.
inline constexpr size_t kRecordNameAt = 22;
inline constexpr size_t kRecordNameSize = 15;
inline constexpr uint8_t kRecordMarker = 0x8C;  // byte 37

// Slot counter values stop here: a client scanning as many records as the
// header says must never be sent past the table.
inline constexpr uint16_t kSlotCounterLimit = kTrafficSlots;
// Tenths of a kilometre: aircraft at or beyond 1000 km are never nearest.
inline constexpr int32_t kNearestLimit = 10000;

constexpr uint32_t TrafficRecordOffset(int slot) {
  return kTrafficRecordBase + kTrafficRecordSize * static_cast<uint32_t>(slot);
}
constexpr uint32_t AttitudeRecordOffset(int slot) {
  return kAttitudeRecordBase +
         kAttitudeRecordSize * static_cast<uint32_t>(slot);
}

// One aircraft as its multiplayer datarefs give it (all floats: degrees,
// metres, metres per second). Zeros for an aircraft without datarefs.
struct PlaneSample {
  float latitude = 0;
  float longitude = 0;
  float elevation = 0;  // metres
  float heading = 0;    // true, degrees
  float v_x = 0;        // local velocities
  float v_y = 0;
  float v_z = 0;
  float pitch = 0;  // degrees
  float bank = 0;   // degrees
};

// The traffic record of an aircraft: id, latitude, longitude, altitude in
// feet, heading as a 16-bit circle, ground speed in knots, vertical speed
// in steps of 197 ft/min, `name` (at most kRecordNameSize bytes are used,
// zero-filled after a shorter name), the marker byte and two zero bytes.
void EncodeTrafficRecord(int32_t id, const PlaneSample& plane, const char* name,
                         uint8_t out[kTrafficRecordSize]);
// The attitude record: id, 14, pitch, "NONE", "NONE", 0, 0, bank.
void EncodeAttitudeRecord(int32_t id, const PlaneSample& plane,
                          uint8_t out[kAttitudeRecordSize]);

// What a slot that ends leaves behind: id 0 and latitude and longitude 0
// in the traffic record, id, pitch and bank 0 in the attitude record; the
// other bytes keep their values.
void MarkTrafficRecordUnused(uint8_t record[kTrafficRecordSize]);
void MarkAttitudeRecordUnused(uint8_t record[kAttitudeRecordSize]);

// Great-circle distance between two positions in degrees, in tenths of a
// kilometre, truncated. Equal positions (a cosine rounded above 1) give 0.
int32_t DistanceTenthsKm(float lat_a, float lon_a, float lat_b, float lon_b);

// One candidate of the nearest-aircraft search.
struct NearestCandidate {
  bool in_use = false;  // the record's id is not 0 and it has a position
  int32_t distance = 0;
  uint16_t record_offset = 0;
};
// The record offset of the nearest candidate in use that is nearer than
// kNearestLimit; the first of equal candidates wins; 0 when none.
uint16_t ChooseNearest(std::span<const NearestCandidate> candidates);

}  // namespace tarvos

#endif  // TARVOS_TRAFFIC_TRAFFIC_RECORDS_H_
