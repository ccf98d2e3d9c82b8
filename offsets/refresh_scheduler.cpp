#include "offsets/refresh_scheduler.h"

#include "XPLMProcessing.h"
#include "offsets/refresh_lists.h"
#include "userconfig/user_offsets.h"

namespace tarvos {
namespace {

// Set by every Enable; E returns 0.5 s once, so that its second run comes
// half a second after its first. Main thread only.
bool e_first_run = false;

void RunList(RefreshCallback callback) {
  for (Converter convert : RefreshList(callback)) convert();
}

// Each callback's work, A to I: its list, then the user offsets of its
// group (0: none).
struct Pass {
  RefreshCallback list;
  int user_group;
};
constexpr Pass kPasses[] = {
    {RefreshCallback::kA, 1}, {RefreshCallback::kB, 0},
    {RefreshCallback::kC, 2}, {RefreshCallback::kD, 3},
    {RefreshCallback::kE, 4}, {RefreshCallback::kF, 5},
    {RefreshCallback::kG, 6}, {RefreshCallback::kH, 7},
    {RefreshCallback::kI, 8},
};
// RunPass finds a callback's row by its place in the enum.
constexpr bool PassesInEnumOrder() {
  int i = 0;
  for (const Pass& pass : kPasses) {
    if (static_cast<int>(pass.list) != i++) return false;
  }
  return true;
}
static_assert(PassesInEnumOrder());

void RunPass(RefreshCallback callback) {
  const Pass& pass = kPasses[static_cast<int>(callback)];
  RunList(pass.list);
  if (pass.user_group != 0) RefreshUserOffsetGroup(pass.user_group);
}

// Return values: negative counts flight loops, positive counts seconds.
constexpr float kEveryFrame = -1.0f;

}  // namespace

float RefreshCallbackA(float, float, int, void*) {
  RunPass(RefreshCallback::kA);
  return kEveryFrame;
}

float RefreshCallbackB(float, float, int, void*) {
  RunPass(RefreshCallback::kB);
  return -3.0f;
}

float RefreshCallbackC(float, float, int, void*) {
  RunPass(RefreshCallback::kC);
  return -7.0f;
}

float RefreshCallbackD(float, float, int, void*) {
  RunPass(RefreshCallback::kD);
  return -13.0f;
}

float RefreshCallbackE(float, float, int, void*) {
  RunPass(RefreshCallback::kE);
  if (e_first_run) {
    e_first_run = false;
    return 0.5f;
  }
  return -31.0f;
}

float RefreshCallbackF(float, float, int, void*) {
  RunPass(RefreshCallback::kF);
  return -31.0f;
}

float RefreshCallbackG(float, float, int, void*) {
  RunPass(RefreshCallback::kG);
  return -59.0f;
}

float RefreshCallbackH(float, float, int, void*) {
  RunPass(RefreshCallback::kH);
  return -157.0f;
}

float RefreshCallbackI(float, float, int, void*) {
  // The late bindings to the x737 and pushback plugins are the last entry
  // of the list, after the offsets and before the user offsets.
  RunPass(RefreshCallback::kI);
  return -313.0f;
}

void PrepareRefreshForEnable() { e_first_run = true; }

void RegisterRefreshCallbacks() {
  XPLMRegisterFlightLoopCallback(RefreshCallbackA, 0.5f, nullptr);
  XPLMRegisterFlightLoopCallback(RefreshCallbackB, 0.5f, nullptr);
  XPLMRegisterFlightLoopCallback(RefreshCallbackC, 0.6f, nullptr);
  XPLMRegisterFlightLoopCallback(RefreshCallbackD, 0.5f, nullptr);
  XPLMRegisterFlightLoopCallback(RefreshCallbackE, 1.0f, nullptr);
  XPLMRegisterFlightLoopCallback(RefreshCallbackF, 1.0f, nullptr);
  XPLMRegisterFlightLoopCallback(RefreshCallbackG, 1.0f, nullptr);
  XPLMRegisterFlightLoopCallback(RefreshCallbackH, 1.0f, nullptr);
  XPLMRegisterFlightLoopCallback(RefreshCallbackI, 1.0f, nullptr);
}

void UnregisterRefreshCallbacks() {
  XPLMUnregisterFlightLoopCallback(RefreshCallbackA, nullptr);
  XPLMUnregisterFlightLoopCallback(RefreshCallbackB, nullptr);
  XPLMUnregisterFlightLoopCallback(RefreshCallbackC, nullptr);
  XPLMUnregisterFlightLoopCallback(RefreshCallbackD, nullptr);
  XPLMUnregisterFlightLoopCallback(RefreshCallbackE, nullptr);
  XPLMUnregisterFlightLoopCallback(RefreshCallbackF, nullptr);
  XPLMUnregisterFlightLoopCallback(RefreshCallbackH, nullptr);
  XPLMUnregisterFlightLoopCallback(RefreshCallbackI, nullptr);
  XPLMUnregisterFlightLoopCallback(RefreshCallbackG, nullptr);
}

void RunAircraftLoadConversions() {
  for (Converter convert : AircraftLoadList()) convert();
}

void RunEveryRefreshOnce() {
  // The aircraft's own values first: the lists convert with them.
  RunAircraftLoadConversions();
  for (const Pass& pass : kPasses) RunPass(pass.list);
}

}  // namespace tarvos
