#include "plugin/host_messages.h"

#include <cstdint>
#include <cstring>

#include "XPLMPlanes.h"
#include "XPLMPlugin.h"
#include "base/plugin_state.h"
#include "offsets/coding.h"
#include "offsets/offset_block.h"
#include "offsets/refresh_scheduler.h"
#include "requests/one_second_timer.h"
#include "traffic/aircraft_models.h"

namespace tarvos {
namespace {

// Size of the two aircraft string fields; the last byte is always 0.
constexpr size_t kAircraftStringField = 256;

void OnCrash() {
  CrashFlag.store(1);
  CrashHoldCount.store(kCrashHoldRuns);
  uint8_t value[2];
  StoreU16(value, 1);
  Publish(kCrashFlagOffset, value, sizeof value);
}

// Model file name and path of the user's aircraft, zero-filled beyond the
// host's text so the published fields carry no stale bytes.
struct UserAircraftModel {
  char file_name[kModelFileNameSize] = {};
  char path[kModelPathSize] = {};
};

void FetchUserAircraft(UserAircraftModel& model) {
  XPLMGetNthAircraftModel(0, model.file_name, model.path);
  model.file_name[sizeof model.file_name - 1] = '\0';
  model.path[sizeof model.path - 1] = '\0';
}

void PublishString(uint32_t offset, const char* text) {
  uint8_t field[kAircraftStringField] = {};
  const size_t length = strnlen(text, kAircraftStringField - 1);
  std::memcpy(field, text, length);
  Publish(offset, field, sizeof field);
}

void OnUserAircraftLoaded() {
  UserAircraftModel model;
  FetchUserAircraft(model);
  PublishString(kUserAircraftPathOffset, model.path);
  // Fetched again for the file name, as the host may have changed it in
  // between.
  UserAircraftModel again;
  FetchUserAircraft(again);
  PublishString(kUserAircraftFileOffset, again.file_name);

  const int32_t count = AircraftLoadCount.fetch_add(1) + 1;
  uint8_t value[2];
  StoreU16(value, static_cast<uint16_t>(count));
  Publish(kAircraftLoadCountOffset, value, sizeof value);

  RunAircraftLoadConversions();
}

void OnAircraftCountChanged() {
  RefreshAircraftModelTable();
  AircraftListChanged.store(1);
}

}  // namespace

void HandleHostMessage(XPLMPluginID from, int message, void* param) {
  if (from != 0) return;
  switch (message) {
    case XPLM_MSG_PLANE_CRASHED:
      OnCrash();
      break;
    case XPLM_MSG_PLANE_LOADED:
      // The parameter is the aircraft's index; 0 is the user's.
      if (reinterpret_cast<intptr_t>(param) == 0) OnUserAircraftLoaded();
      break;
    case XPLM_MSG_AIRPLANE_COUNT_CHANGED:
      OnAircraftCountChanged();
      break;
    default:
      break;
  }
}

}  // namespace tarvos
