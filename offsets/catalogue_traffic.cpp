// Catalogue rows of the traffic tables kept by the traffic threads
// (traffic/traffic_thread.cpp, encoded in traffic/traffic_records.cpp): the
// attitude records, the table header and the traffic records. Record k of
// a table is the aircraft the host numbers k (multiplayer plane k).
#include "offsets/catalogue_tables.h"

namespace tarvos {
namespace {

using namespace catalogue_rows;

constexpr uint16_t kSlots = 96;
constexpr uint16_t kAttitudeStride = 20;
constexpr uint16_t kTrafficStride = 40;

// clang-format off
constexpr OffsetRow kTrafficRows[] = {
    Row(0xD840, 4, kS32, kR, kTraffic, "traffic.#.attitude_id", "", 1,
        "Attitude record: the aircraft's slot id, 0 when not in use")
        .Table(kSlots, kAttitudeStride),
    Row(0xD844, 2, kU16, kR, kTraffic, "traffic.#.attitude_kind", "", 1,
        "Attitude record: 14 while in use")
        .Table(kSlots, kAttitudeStride),
    Row(0xD846, 2, kS16, kR, kTraffic, "traffic.#.pitch", "deg", kPerTurn16,
        "Pitch, nose up positive")
        .Table(kSlots, kAttitudeStride),
    Row(0xD848, 4, kText, kR, kTraffic, "traffic.#.attitude_tag_1", "", 1,
        "Attitude record: the letters NONE")
        .Table(kSlots, kAttitudeStride),
    Row(0xD84C, 4, kText, kR, kTraffic, "traffic.#.attitude_tag_2", "", 1,
        "Attitude record: the letters NONE")
        .Table(kSlots, kAttitudeStride),
    Row(0xD852, 2, kS16, kR, kTraffic, "traffic.#.bank", "deg", kPerTurn16,
        "Bank, right wing down positive")
        .Table(kSlots, kAttitudeStride),
    Row(0xF000, 2, kU16, kR, kTraffic, "traffic.record_size", "", 1,
        "Size of one traffic record, 40"),
    Row(0xF002, 2, kU16, kR, kTraffic, "traffic.capacity", "", 1,
        "Traffic records in the table, 96"),
    Row(0xF004, 2, kU16, kR, kTraffic, "traffic.slot_counter", "", 1,
        "Slots created since the traffic thread started (never decreased, "
        "at most 96)"),
    Row(0xF006, 2, kU16, kR, kTraffic, "traffic.tick", "", 1,
        "Grows by 10 every traffic cycle (about 200 ms), wrapping"),
    Row(0xF008, 1, kU8, kR, kTraffic, "traffic.#.heartbeat", "", 1,
        "Cycles of the aircraft's slot thread after its first, modulo 256")
        .Table(kSlots, 1),
    Row(0xF07E, 2, kU16, kR, kTraffic, "traffic.nearest", "", 1,
        "Offset of the nearest aircraft's traffic record within 1000 km, "
        "else 0"),
    Row(0xF080, 4, kS32, kR, kTraffic, "traffic.#.id", "", 1,
        "The aircraft's slot id, 0 when the record is not in use")
        .Table(kSlots, kTrafficStride),
    Row(0xF084, 4, kF32, kR, kTraffic, "traffic.#.latitude", "deg", 1,
        "Latitude, north positive (0 from the 20th aircraft on)")
        .Table(kSlots, kTrafficStride),
    Row(0xF088, 4, kF32, kR, kTraffic, "traffic.#.longitude", "deg", 1,
        "Longitude, east positive (0 from the 20th aircraft on)")
        .Table(kSlots, kTrafficStride),
    Row(0xF08C, 4, kF32, kR, kTraffic, "traffic.#.altitude", "ft", 1,
        "Altitude above sea level")
        .Table(kSlots, kTrafficStride),
    Row(0xF090, 2, kAngle16, kR, kTraffic, "traffic.#.heading", "deg",
        kPerTurn16, "True heading")
        .Table(kSlots, kTrafficStride),
    Row(0xF092, 2, kU16, kR, kTraffic, "traffic.#.ground_speed", "kt", 1,
        "Ground speed")
        .Table(kSlots, kTrafficStride),
    Row(0xF094, 2, kS16, kR, kTraffic, "traffic.#.vertical_speed", "ft/min",
        1, "Vertical speed in steps of 197 ft/min")
        .Table(kSlots, kTrafficStride),
    Row(0xF096, 15, kText, kR, kTraffic, "traffic.#.model", "", 1,
        "Model file name, cut to 15 bytes (no terminator when 15 long)")
        .Table(kSlots, kTrafficStride),
    Row(0xF0A5, 1, kU8, kR, kTraffic, "traffic.#.marker", "", 1,
        "0x8C in every record that was ever in use")
        .Table(kSlots, kTrafficStride),
};
// clang-format on

}  // namespace

CatalogueDomain TrafficCatalogue() { return {"AI traffic", kTrafficRows}; }

}  // namespace tarvos
