#include "traffic/traffic_thread.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#include "XPLMDataAccess.h"
#include "base/locks.h"
#include "base/plugin_state.h"
#include "base/status_log.h"
#include "offsets/coding.h"
#include "offsets/offset_block.h"
#include "offsets/reference_tables.h"
#include "traffic/aircraft_models.h"
#include "traffic/traffic_records.h"

namespace tarvos {
namespace {

// Polling period of the start gate.
constexpr auto kGatePoll = std::chrono::milliseconds(10);
// Period of the traffic cycle and of every slot thread's cycle.
constexpr auto kCycle = std::chrono::milliseconds(200);
// Grace period Disable gives the thread before waiting for it.
constexpr auto kStopGrace = std::chrono::milliseconds(100);

// Handle slots of plane s + 1 in DataRefMemBlock (filled for planes 1 to
// 19 only; every other slot reads as null).
constexpr uint32_t kLatitudeHandleAt = 0xF084;  // + 40 s
constexpr uint32_t kLongitudeHandleAt = 0xF088;
constexpr uint32_t kElevationHandleAt = 0xF08C;
constexpr uint32_t kHeadingHandleAt = 0xF090;
constexpr uint32_t kVxHandleAt = 0xF092;
constexpr uint32_t kVzHandleAt = 0xF093;
constexpr uint32_t kVyHandleAt = 0xF094;
constexpr uint32_t kPitchHandleAt = 0xD846;  // + 20 s
constexpr uint32_t kBankHandleAt = 0xD852;
// The user's latitude and longitude.
constexpr uint32_t kUserLatitudeHandle = 0x0560;
constexpr uint32_t kUserLongitudeHandle = 0x0568;

// The sleep of every traffic thread: 200 ms, cut short when Stop or a slot
// removal wants the threads to look at their run flags, or when a test
// kicks a cycle. Its mutex is held only inside Sleep and Wake, never
// together with one of the four plugin locks.
class Pacer {
 public:
  void Sleep(std::chrono::milliseconds period) {
    std::unique_lock<std::mutex> hold(mu_);
    const uint64_t seen = wakes_;
    cv_.wait_for(hold, period, [&] { return wakes_ != seen; });
  }
  void Wake() {
    {
      std::lock_guard<std::mutex> hold(mu_);
      ++wakes_;
    }
    cv_.notify_all();
  }

 private:
  std::mutex mu_;
  std::condition_variable cv_;
  uint64_t wakes_ = 0;
};

Pacer& ThePacer() {
  static Pacer* pacer = new Pacer();  // never destroyed: see TrafficThread()
  return *pacer;
}

// One slot: its thread and run flag. The slot's number and id are passed
// to the thread by value when it starts; the thread's end is waited for by
// joining it, one thread at a time.
struct Slot {
  std::atomic<bool> run{false};
  std::thread thread;
};

// Owned by the traffic thread; static and never destroyed, so a slot
// thread's flags outlive it in every case.
Slot* Slots() {
  static Slot* slots = new Slot[kTrafficSlots];
  return slots;
}

// Written by slot s alone, copied into the header by the traffic thread.
std::atomic<uint8_t> g_heartbeat[kTrafficSlots];

struct DistanceEntry {
  int32_t distance = kNearestLimit;
  int32_t record_offset = 0;
};
DistanceEntry g_distance[kTrafficSlots] GUARDED_BY(TrafficLock);

// The traffic thread's state. Only the traffic thread touches these; a
// later traffic thread starts after the previous one was joined.
// The slot ids go on from -684 and the tick from 0 for as long as the
// library is loaded.
int32_t g_slot_id = -684;
uint16_t g_tick = 0;
uint8_t g_header[kTrafficHeaderSize];
int g_slots_in_use = 0;
uint16_t g_slot_counter = 0;

// Mirrors for the query functions (any thread).
std::atomic<int> g_slots_in_use_seen{0};
std::atomic<int> g_slot_threads_alive{0};
std::atomic<uint64_t> g_cycles{0};

// Cleared by Disable, polled by the thread.
std::atomic<bool> g_run{false};
// Owned by the main thread (Start and Stop only). Never destroyed, so that
// an unload or process exit with the thread still joinable cannot end the
// process from a static destructor.
std::thread& TrafficThread() {
  static std::thread* thread = new std::thread();
  return *thread;
}

float ReadFloat(uint32_t handle_slot) {
  XPLMDataRef ref = DataRefMemBlock[handle_slot];
  return ref != nullptr ? XPLMGetDataf(ref) : 0.0f;
}

bool SlotHasPosition(int s) {
  return DataRefMemBlock[kLatitudeHandleAt + kTrafficRecordSize * s] != nullptr;
}

PlaneSample ReadPlane(int s) {
  const uint32_t t = kTrafficRecordSize * static_cast<uint32_t>(s);
  const uint32_t a = kAttitudeRecordSize * static_cast<uint32_t>(s);
  PlaneSample p;
  p.latitude = ReadFloat(kLatitudeHandleAt + t);
  p.longitude = ReadFloat(kLongitudeHandleAt + t);
  p.elevation = ReadFloat(kElevationHandleAt + t);
  p.heading = ReadFloat(kHeadingHandleAt + t);
  p.v_x = ReadFloat(kVxHandleAt + t);
  p.v_z = ReadFloat(kVzHandleAt + t);
  p.v_y = ReadFloat(kVyHandleAt + t);
  p.pitch = ReadFloat(kPitchHandleAt + a);
  p.bank = ReadFloat(kBankHandleAt + a);
  return p;
}

void SlotMain(int s, int32_t id) {
  Slot& slot = Slots()[s];
  uint8_t record[kTrafficRecordSize] = {};
  uint8_t attitude[kAttitudeRecordSize] = {};
  try {
    uint8_t cycle = 0;
    while (slot.run.load()) {
      // Aircraft s + 1; the table has no entry for the 96th, whose name
      // stays empty.
      char name[kRecordNameSize + 1];
      CopyAircraftModelName(s + 1, name, sizeof name);
      const PlaneSample plane = ReadPlane(s);
      EncodeTrafficRecord(id, plane, name, record);
      EncodeAttitudeRecord(id, plane, attitude);
      Publish(TrafficRecordOffset(s), record, sizeof record);
      Publish(AttitudeRecordOffset(s), attitude, sizeof attitude);

      const int32_t distance = DistanceTenthsKm(
          plane.latitude, plane.longitude, ReadFloat(kUserLatitudeHandle),
          ReadFloat(kUserLongitudeHandle));
      {
        LockGuard<Lock> hold(TrafficLock);
        g_distance[s].distance = distance;
        g_distance[s].record_offset =
            static_cast<int32_t>(TrafficRecordOffset(s));
      }
      g_heartbeat[s].store(cycle);
      ++cycle;
      ThePacer().Sleep(kCycle);
    }
    MarkTrafficRecordUnused(record);
    MarkAttitudeRecordUnused(attitude);
    Publish(TrafficRecordOffset(s), record, sizeof record);
    Publish(AttitudeRecordOffset(s), attitude, sizeof attitude);
    StatusLine("TARVOS->Closing Slot Thread No. %02i......\n", s);
  } catch (...) {
    // A worker thread must never take the simulator down.
  }
  g_slot_threads_alive.fetch_sub(1);
}

// Starts slot s with a fresh id. False when the thread could not be
// created (the slot then stays unused).
bool AddSlot(int s) {
  Slot& slot = Slots()[s];
  ++g_slot_id;
  {
    // A slot that served another aircraft before must not be nearest on
    // its old distance.
    LockGuard<Lock> hold(TrafficLock);
    g_distance[s] = DistanceEntry{};
  }
  slot.run.store(true);
  g_slot_threads_alive.fetch_add(1);
  try {
    slot.thread = std::thread(SlotMain, s, g_slot_id);
  } catch (...) {
    slot.run.store(false);
    g_slot_threads_alive.fetch_sub(1);
    return false;
  }
  return true;
}

// Ends the slots from `keep` up: every run flag is cleared first, so that
// they all finish within the same cycle, then each thread is waited for
// on its own (no single wait on many handles) and only then released.
void RemoveSlotsFrom(int keep) {
  for (int s = g_slots_in_use - 1; s >= keep; --s) Slots()[s].run.store(false);
  ThePacer().Wake();
  for (int s = g_slots_in_use - 1; s >= keep; --s) {
    Slot& slot = Slots()[s];
    if (slot.thread.joinable()) slot.thread.join();
  }
  g_slots_in_use = std::min(g_slots_in_use, keep);
}

// Other aircraft the host reports, within the table.
int OtherAircraft() {
  return std::clamp(AircraftActiveCount.load() - 1, 0, kTrafficSlots);
}

// Adds or removes as many slots as the new count needs. The slot counter
// counts slots created and stops at the table's size.
void FollowAircraftCount(int wanted) {
  while (g_slots_in_use < wanted) {
    if (!AddSlot(g_slots_in_use)) break;
    ++g_slots_in_use;
    if (g_slot_counter < kSlotCounterLimit) ++g_slot_counter;
  }
  if (g_slots_in_use > wanted) RemoveSlotsFrom(wanted);
  g_slots_in_use_seen.store(g_slots_in_use);
}

void PublishHeader() {
  StoreU16(g_header + kHeaderSlotCounterAt, g_slot_counter);
  StoreU16(g_header + kHeaderTickAt, g_tick);
  for (int s = 0; s < kTrafficSlots; ++s) {
    g_header[kHeaderHeartbeatAt + s] = g_heartbeat[s].load();
  }
  Publish(kTrafficHeaderOffset, g_header, sizeof g_header);
}

void TrafficMain() {
  try {
    StoreU16(g_header + kHeaderRecordSizeAt, kTrafficRecordSize);
    StoreU16(g_header + kHeaderCapacityAt, kTrafficSlots);
    for (int s = 0; s < kTrafficSlots; ++s) Slots()[s].run.store(false);
    g_slots_in_use = 0;
    while (g_run.load() && StartGate.load() != 0) {
      std::this_thread::sleep_for(kGatePoll);
    }

    const int others = OtherAircraft();
    g_slot_counter = static_cast<uint16_t>(others);
    for (int s = 0; s < others && g_run.load() && AddSlot(s); ++s) {
      ++g_slots_in_use;
    }
    g_slots_in_use_seen.store(g_slots_in_use);

    while (g_run.load()) {
      if (AircraftListChanged.exchange(0) != 0) {
        FollowAircraftCount(OtherAircraft());
      }
      StoreU16(g_header + kHeaderNearestAt, NearestTrafficOffset());
      g_tick = static_cast<uint16_t>(g_tick + 10);
      PublishHeader();
      g_cycles.fetch_add(1);
      ThePacer().Sleep(kCycle);
    }

    StatusLine("TARVOS->%02i ATC Threads active......\n", g_slots_in_use);
    RemoveSlotsFrom(0);
    g_slots_in_use_seen.store(0);
    StatusLine("Done\n");
  } catch (...) {
    // A worker thread must never take the simulator down.
  }
  // Whatever happened above, no slot thread outlives the traffic thread.
  for (int s = 0; s < kTrafficSlots; ++s) Slots()[s].run.store(false);
  ThePacer().Wake();
  for (int s = 0; s < kTrafficSlots; ++s) {
    Slot& slot = Slots()[s];
    if (slot.thread.joinable()) slot.thread.join();
  }
  g_slots_in_use = 0;
}

}  // namespace

uint16_t NearestTrafficOffset() {
  NearestCandidate candidates[kTrafficSlots];
  for (int s = 0; s < kTrafficSlots; ++s) {
    NearestCandidate& c = candidates[s];
    if (!SlotHasPosition(s)) continue;
    uint8_t id[4];
    Fetch(TrafficRecordOffset(s), id, sizeof id);
    if (LoadS32(id) == 0) continue;
    LockGuard<Lock> hold(TrafficLock);
    c.in_use = true;
    c.distance = g_distance[s].distance;
    c.record_offset = static_cast<uint16_t>(g_distance[s].record_offset);
  }
  return ChooseNearest(candidates);
}

bool StartTrafficThread() {
  if (TrafficThread().joinable()) return false;
  g_run.store(true);
  g_cycles.store(0);
  try {
    TrafficThread() = std::thread(TrafficMain);
  } catch (const std::system_error&) {
    g_run.store(false);
    return false;
  }
  return true;
}

void StopTrafficThread() {
  if (!TrafficThread().joinable()) return;
  g_run.store(false);
  ThePacer().Wake();
  std::this_thread::sleep_for(kStopGrace);
  TrafficThread().join();
}

bool TrafficThreadRunning() { return TrafficThread().joinable(); }

int TrafficSlotsInUse() { return g_slots_in_use_seen.load(); }
int TrafficSlotThreadsAlive() { return g_slot_threads_alive.load(); }
uint64_t TrafficCyclesDone() { return g_cycles.load(); }

void KickTrafficCycle() { ThePacer().Wake(); }

}  // namespace tarvos
