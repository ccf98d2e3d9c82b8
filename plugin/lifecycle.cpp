#include "plugin/lifecycle.h"

#include <atomic>
#include <cstdio>

#include "XPLMProcessing.h"
#include "XPLMUtilities.h"
#include "base/locks.h"
#include "base/paths.h"
#include "base/plugin_state.h"
#include "base/status_log.h"
#include "base/trace_log.h"
#include "offsets/offset_block.h"
#include "offsets/reference_tables.h"
#include "offsets/refresh_scheduler.h"
#include "offsets/trace_sources.h"
#include "plugin/constant_offsets.h"
#include "plugin/host_messages.h"
#include "plugin/host_references.h"
#include "plugin/plugin_menu.h"
#include "plugin/update_sampler.h"
#include "requests/engine_writes.h"
#include "requests/message_window.h"
#include "requests/one_second_timer.h"
#include "settings/settings.h"
#include "settings/settings_report.h"
#include "settings/settings_saves.h"
#include "settings/settings_windows.h"
#include "traffic/aircraft_models.h"
#include "traffic/traffic_thread.h"
#include "transport/server_options.h"
#include "transport/servers.h"
#include "userconfig/user_offsets.h"

namespace tarvos {
namespace {

// The host's identity buffers hold 256 bytes.
constexpr size_t kIdentityBufferSize = 256;

constexpr const char kRule[] =
    "--------------------------------------------------\n";

// Main-thread state of the lifecycle.
struct LifecycleState {
  // Set by the first DeferredStart after load; keeps later runs from
  // touching StartGate.
  bool gate_opened = false;
  // Between Enable and Disable. DeferredStart does nothing outside it, so a
  // run still scheduled when Disable came first cannot start threads nobody
  // will stop.
  bool enabled = false;
  // DeferredStart has started the worker threads of this enable period.
  bool threads_started = false;
};
LifecycleState g_state;

void CopyIdentity(char* buffer, const char* text) {
  if (buffer != nullptr) std::snprintf(buffer, kIdentityBufferSize, "%s", text);
}

void StartWorkerThreads() {
  if (StartIpcServer()) {
    StatusLine("TARVOS->Create QIRA Thread OK!\n");
  } else {
    StatusLine("TARVOS->Create QIRA Thread failed!\n");
  }
  const bool tcp_started = StartTcpServer();
  const bool traffic_started = StartTrafficThread();
  if (tcp_started) {
    StatusLine("TARNET->Create Socket thread OK!\n");
  } else {
    StatusLine("TARNET->Create Socket thread failed!\n");
  }
  if (traffic_started) {
    StatusLine("TARVOS->Create ATC thread OK!\n");
  } else {
    StatusLine("TARVOS->Create ATC thread failed!\n");
  }
}

int Start(char* name, char* signature, char* description) {
  ReadLogging.store(0);
  WriteLogging.store(0);
  CopyIdentity(name, kPluginName);
  CopyIdentity(signature, kPluginSignature);
  CopyIdentity(description, kPluginDescription);
  StartGate.store(1);
  // A start closes the gate, so the next deferred start opens it again: a
  // host that stops and starts the plugin without unloading it must not
  // leave the traffic thread waiting for good.
  g_state.gate_opened = false;
  ConnectTraceToOffsets();

  OpenStatusLog(SystemFilePath(kStatusLogFileName), /*truncate=*/true);
  OpenTraceLogForStart(SystemFilePath(kTraceLogFileName));
  StatusLine("TARVOS Version %s\n", kPluginVersion);
  StatusLine("TARNET Version %s\n", kPluginVersion);
  TraceLine("TARVOS Version %s\n", kPluginVersion);
  TraceLine("TARNET Version %s\n", kPluginVersion);

  BuildPluginMenu();
  ResetSettingsWindows();

  StatusLine("Start Init!\n");
  ResetOffsetSpace();
  ClearReferenceTables();
  StatusLine("Init Mem Blocks OK!\n");
  InitDataRefMemBlock();
  InitCommandBlock();

  const int version = HostVersion();
  StatusLine("X-Plane Version: %i\n", version);
  TraceLine("X-Plane Version: %i\n", version);

  StoreConstantOffsets();

  CloseStatusLog();
  CloseTraceLog();
  return 1;
}

int Enable() {
  ResetTracing();
  AircraftLoadCount.store(0);
  AircraftListChanged.store(0);
  CrashFlag.store(0);

  // The settings are read before the StatusLog is open; their problems are
  // held and written after the Enable lines below.
  HoldSettingsReports();
  EnsureSettingsFile();
  LoadSettings();
  SetTcpAccessPolicy(LoadedAccessPolicy());

  OpenStatusLog(SystemFilePath(kStatusLogFileName), /*truncate=*/false);
  StatusLine("%s", kRule);
  StatusLine("TARVOS Enable !\n");
  StatusLine("TARNETServer Enable !\n");
  ReleaseSettingsReports();
  CheckHostReferences();
  StatusLine("TARVOS->Reading TARVOSOffsets.cfg\n");
  LoadUserOffsetConfig();

  StatusLine("TARVOS->Initialise critical sections\n");
  CreateLocks();

  PrepareRefreshForEnable();
  ResetLateBindingsForEnable();
  PrepareOneSecondTimerForEnable();

  g_state.enabled = true;
  g_state.threads_started = false;
  // Registered afresh each enable; removing it first keeps a second enable
  // from leaving two registrations that would each start the threads.
  XPLMUnregisterFlightLoopCallback(DeferredStart, nullptr);
  XPLMRegisterFlightLoopCallback(DeferredStart, -1.0f, nullptr);
  RegisterRefreshCallbacks();
  RegisterOneSecondTimer();
  RegisterMessageWindow();
  // Last: it samples the push subscriptions after the frame's refresh work.
  RegisterUpdateSampler();

  PrepareTcpServerForEnable();
  return 1;
}

void Disable() {
  g_state.enabled = false;
  StatusLine("%s", kRule);
  StatusLine("TARVOS->Starting deinit\n");
  UnregisterRefreshCallbacks();
  UnregisterOneSecondTimer();
  UnregisterMessageWindow();
  UnregisterUpdateSampler();

  StatusLine("TARNET->Closing Socket serve thread.....\n");
  StopTcpServer();
  StatusLine("TARNETServer deinit OK!\n");
  StatusLine("TARNETServer Disable !\n");

  StatusLine("TARVOS->Closing QIRAMain Thread......\n");
  StopIpcServer();

  StatusLine("TARVOS->Closing ATC Thread......\n");
  StopTrafficThread();
  g_state.threads_started = false;
  // No client can release a starter it holds any more.
  ReleaseHeldStarterButtons();
  // Settings changed by the last requests and not yet in the file.
  FlushSettingSaves();

  StatusLine("TARVOS->Release critical sections\n");
  DestroyLocks();

  StatusLine("TARVOS->Purging TARVOSOffsets.cfg\n");
  ReleaseUserOffsetConfig();

  StatusLine("TARVOS deinit OK!\n");
  StatusLine("TARVOS Disable !\n");
  ResetTracing();
  CloseStatusLog();
}

void Stop() {
  DestroyPluginMenu();
  DestroySettingsWindows();
  XPLMUnregisterFlightLoopCallback(DeferredStart, nullptr);
}

void RunDeferredStart() {
  if (!g_state.enabled || g_state.threads_started) return;
  if (!g_state.gate_opened) {
    g_state.gate_opened = true;
    StartGate.store(0);
  }
  RefreshAircraftModelTableUnlocked();
  // The servers answer from the first frame on, before any refresh
  // callback has run: without this a client would read zeros.
  RunEveryRefreshOnce();
  g_state.threads_started = true;
  StartWorkerThreads();
}

}  // namespace

// Every entry point catches everything: an exception must never unwind into
// the simulator.

int PluginStart(char* name, char* signature, char* description) {
  try {
    return Start(name, signature, description);
  } catch (...) {
    return 1;
  }
}

void PluginStop() {
  try {
    Stop();
  } catch (...) {
  }
}

int PluginEnable() {
  try {
    return Enable();
  } catch (...) {
    return 1;
  }
}

void PluginDisable() {
  try {
    Disable();
  } catch (...) {
  }
}

void PluginReceiveMessage(XPLMPluginID from, int message, void* param) {
  try {
    HandleHostMessage(from, message, param);
  } catch (...) {
  }
}

float DeferredStart(float, float, int, void*) {
  try {
    RunDeferredStart();
  } catch (...) {
  }
  return 0.0f;
}

}  // namespace tarvos
