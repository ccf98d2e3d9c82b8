// The flight loop with virtual time.
//
// A callback's schedule is either a virtual time (positive intervals, in
// seconds) or a frame number (negative intervals, in frames). StepFrame
// advances the clock, then calls every due callback in registration order
// with the host mutex released, so a callback may register, unregister or
// reschedule itself or any other callback; each one is looked up again by
// its id before and after its call.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "XPLMProcessing.h"
#include "simhost/host/faults.h"
#include "simhost/host/host_state.h"

namespace simhost {
namespace {

// Virtual time is a sum of float steps; a due time this close counts as
// reached, so a 0.5 s callback at 60 frames/s runs on frame 30, not 31.
constexpr double kTimeSlack = 1e-6;

FlightLoop* FindLoop(Host::State& s, XPLMFlightLoop_f callback, void* refcon)
    REQUIRES(s.mu) {
  for (FlightLoop& loop : s.loops) {
    if (loop.callback == callback && loop.refcon == refcon) return &loop;
  }
  return nullptr;
}

FlightLoop* FindLoopById(Host::State& s, uint64_t id) REQUIRES(s.mu) {
  for (FlightLoop& loop : s.loops) {
    if (loop.id == id) return &loop;
  }
  return nullptr;
}

// Schedules a callback `interval` from `base_time`: positive = seconds,
// negative = that many frames from now, 0 = not scheduled.
void Schedule(const Host::State& s, FlightLoop& loop, float interval,
              double base_time) REQUIRES(s.mu) {
  if (!(interval == interval) || interval == 0) {  // NaN or 0: stop
    loop.scheduled = false;
    return;
  }
  loop.scheduled = true;
  if (interval < 0) {
    loop.by_frames = true;
    double frames = std::max(1.0, std::round(-static_cast<double>(interval)));
    loop.due_frame = s.frame + static_cast<int64_t>(std::min(frames, 1e15));
  } else {
    loop.by_frames = false;
    loop.due_time = base_time + interval;
  }
}

bool IsDue(const Host::State& s, const FlightLoop& loop) REQUIRES(s.mu) {
  if (!loop.scheduled) return false;
  if (loop.by_frames) return loop.due_frame <= s.frame;
  return loop.due_time <= s.now + kTimeSlack;
}

// Clock datarefs are floats whatever their value's precision.
void SetClockDataref(Host::State& s, const char* name, double value)
    REQUIRES(s.mu) {
  auto it = s.by_name.find(name);
  if (it != s.by_name.end() && it->second->alive) {
    it->second->scalar = static_cast<float>(value);
  }
}

}  // namespace

void UpdateTimeDatarefs(Host::State& s) REQUIRES(s.mu) {
  double zulu = std::fmod(s.zulu_at_start + s.sim_time, 86400.0);
  if (zulu < 0) zulu += 86400.0;
  double local = std::fmod(zulu + s.local_offset + 86400.0, 86400.0);
  SetClockDataref(s, "sim/time/total_running_time_sec", s.now);
  SetClockDataref(s, "sim/time/zulu_time_sec", zulu);
  SetClockDataref(s, "sim/time/local_time_sec", local);
  SetClockDataref(s, "sim/operation/misc/frame_rate_period", s.last_dt);
}

// Setting local time moves zulu time with it (the time zone stays).
void OnClockDatarefSet(Host::State& s, const Dataref& d) REQUIRES(s.mu) {
  if (d.name == "sim/time/zulu_time_sec") {
    s.zulu_at_start = d.scalar - s.sim_time;
  } else if (d.name == "sim/time/local_time_sec") {
    s.zulu_at_start = d.scalar - s.local_offset - s.sim_time;
  } else {
    return;
  }
  UpdateTimeDatarefs(s);
}

void Host::StepFrame(float dt) {
  if (!(dt >= 0)) dt = 0;  // negative or NaN: a frame without time
  // A late frame: the main thread stalls (as the simulator does while it
  // loads scenery), and the frame's time covers the stall.
  if (const double late = TakeLateFrame(); late > 0) {
    std::this_thread::sleep_for(std::chrono::duration<double>(late));
    dt += static_cast<float>(late);
  }
  std::vector<uint64_t> due;
  std::function<void(double, float)> hook;
  double now;
  {
    State& s = *state_;
    simhost::HostLock lock(s.mu);
    s.now += dt;
    s.frame += 1;
    auto paused = s.by_name.find("sim/time/paused");
    if (paused == s.by_name.end() || paused->second->scalar == 0) {
      s.sim_time += dt;
    }
    s.last_dt = dt;
    UpdateTimeDatarefs(s);
    hook = s.frame_hook;
    now = s.now;
  }
  if (hook) hook(now, dt);
  {
    simhost::HostLock lock(state_->mu);
    for (const FlightLoop& loop : state_->loops) {
      if (IsDue(*state_, loop)) due.push_back(loop.id);
    }
  }
  for (uint64_t id : due) {
    XPLMFlightLoop_f callback;
    void* refcon;
    float since_last_call;
    int counter;
    {
      State& s = *state_;
      simhost::HostLock lock(s.mu);
      FlightLoop* loop = FindLoopById(s, id);
      // Unregistered or rescheduled by an earlier callback of this frame.
      if (loop == nullptr || !IsDue(s, *loop)) continue;
      callback = loop->callback;
      refcon = loop->refcon;
      since_last_call = static_cast<float>(s.now - loop->last_call_time);
      loop->last_call_time = s.now;
      loop->scheduled = false;  // until the return value says otherwise
      counter = static_cast<int>(s.frame);
    }
    float next = callback(since_last_call, dt, counter, refcon);
    simhost::HostLock lock(state_->mu);
    FlightLoop* loop = FindLoopById(*state_, id);
    // A callback that set its own interval during the call keeps that
    // schedule; otherwise its return value decides.
    if (loop != nullptr && !loop->scheduled) {
      Schedule(*state_, *loop, next, state_->now);
    }
  }
  DrawVisibleWindows();
}

void Host::StepFrames(int count, float dt) {
  for (int i = 0; i < count; ++i) StepFrame(dt);
}

double Host::ElapsedTime() const {
  simhost::HostLock lock(state_->mu);
  return state_->now;
}

int64_t Host::FrameCount() const {
  simhost::HostLock lock(state_->mu);
  return state_->frame;
}

bool Host::IsFlightLoopRegistered(XPLMFlightLoop_f callback,
                                  void* refcon) const {
  simhost::HostLock lock(state_->mu);
  return FindLoop(*state_, callback, refcon) != nullptr;
}

int Host::ScheduledFlightLoopCount() const {
  simhost::HostLock lock(state_->mu);
  return static_cast<int>(
      std::count_if(state_->loops.begin(), state_->loops.end(),
                    [](const FlightLoop& l) { return l.scheduled; }));
}

void Host::SetFrameHook(std::function<void(double now, float dt)> hook) {
  simhost::HostLock lock(state_->mu);
  state_->frame_hook = std::move(hook);
}

}  // namespace simhost

using simhost::FlightLoop;

float XPLMGetElapsedTime(void) {
  auto& s = simhost::HostState();
  simhost::HostLock lock(s.mu);
  return static_cast<float>(s.now);
}

int XPLMGetCycleNumber(void) {
  auto& s = simhost::HostState();
  simhost::HostLock lock(s.mu);
  return static_cast<int>(s.frame);
}

// Registering a callback that is already registered (same function and
// refcon) is a host error; the host reschedules it in place rather than
// adding a second entry.
void XPLMRegisterFlightLoopCallback(XPLMFlightLoop_f inFlightLoop,
                                    float inInterval, void* inRefcon) {
  auto& s = simhost::HostState();
  simhost::HostLock lock(s.mu);
  simhost::RequireMainThread(s, __func__);
  if (inFlightLoop == nullptr) return;
  FlightLoop* loop = simhost::FindLoop(s, inFlightLoop, inRefcon);
  if (loop != nullptr) {
    simhost::RecordHostError(s,
                             "XPLMRegisterFlightLoopCallback of a callback "
                             "that is registered already");
  } else {
    FlightLoop fresh;
    fresh.id = s.next_loop_id++;
    fresh.callback = inFlightLoop;
    fresh.refcon = inRefcon;
    fresh.last_call_time = s.now;
    s.loops.push_back(fresh);
    loop = &s.loops.back();
  }
  simhost::Schedule(s, *loop, inInterval, s.now);
}

void XPLMUnregisterFlightLoopCallback(XPLMFlightLoop_f inFlightLoop,
                                      void* inRefcon) {
  auto& s = simhost::HostState();
  simhost::HostLock lock(s.mu);
  simhost::RequireMainThread(s, __func__);
  std::erase_if(s.loops, [&](const FlightLoop& l) {
    return l.callback == inFlightLoop && l.refcon == inRefcon;
  });
}

void XPLMSetFlightLoopCallbackInterval(XPLMFlightLoop_f inFlightLoop,
                                       float inInterval, int inRelativeToNow,
                                       void* inRefcon) {
  auto& s = simhost::HostState();
  simhost::HostLock lock(s.mu);
  simhost::RequireMainThread(s, __func__);
  FlightLoop* loop = simhost::FindLoop(s, inFlightLoop, inRefcon);
  if (loop == nullptr) return;
  simhost::Schedule(s, *loop, inInterval,
                    inRelativeToNow ? s.now : loop->last_call_time);
}
