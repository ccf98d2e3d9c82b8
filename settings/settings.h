// The user settings kept in TARVOS.ini: the tune value, the four ATC
// identification texts (also published in the offset space) and the flaps
// section, which is only read and written back.
//
// File layout (sections and keys; defaults in the key table of
// settings.cpp, which parsing, the default file and write-back all use):
//   [TARVOS SETTINGS]        Tune value = 00                 (0..20 ms)
//   [TARVOS ATC SETTINGS]    ATC Number, ATC Tail Number, ATC Airline name,
//                            ATC Aircraft type               (texts)
//   [TARVOS FLAPS SETTINGS]  Flap Settings = Inactive|Active,
//                            Number of Detends = 02          (2..10),
//                            Flap detend 1..10 = set,lever,adjusted or empty
//   [TARVOS NETWORK ACCESS]  Listen address = 0.0.0.0, Allowed clients = all,
//                            Read-only clients = none,
//                            Idle timeout seconds = 0  (access_policy.h)
//
// Problems with the file (not a regular file, unreadable, malformed access
// values) go to the StatusLog through settings_report.h, once each.
//
// Threads: LoadSettings runs inside XPluginEnable before any worker thread.
// Afterwards the ATC texts are changed by the settings windows (main thread)
// and by client writes (transport threads); both hold OffsetLock, which
// guards the settings in memory. Rewrites of the file are queued and made
// after OffsetLock is released, serialised by SettingsFileLock
// (settings_saves.h).
#ifndef TARVOS_SETTINGS_SETTINGS_H_
#define TARVOS_SETTINGS_SETTINGS_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/locks.h"
#include "transport/access_policy.h"

namespace tarvos {

enum class AtcField { kFlightNumber, kTailNumber, kAirlineName, kAircraftType };

// Offset-space fields of the ATC texts (wire values: never change them).
inline constexpr uint32_t kAtcFlightNumberOffset = 0x3130;  // 12 bytes
inline constexpr uint32_t kAtcTailNumberOffset = 0x313C;    // 12 bytes
inline constexpr uint32_t kAtcAirlineNameOffset = 0x3148;   // 24 bytes
inline constexpr uint32_t kAtcAircraftTypeOffset = 0x3160;  // 24 bytes

inline constexpr int kFlapDetentEntries = 10;
struct FlapDetent {
  int32_t set_flag = 0;
  int32_t lever_value = 0;
  int32_t adjusted_value = 0;
};

// A copy of the flaps section as held in memory.
struct FlapSettings {
  std::string text;    // "Flap Settings" as last read
  int32_t active = 0;  // 1 for "Active", 0 for "Inactive"
  int32_t detent_count = 2;
  std::string detent_text;
  FlapDetent FlapDetentTable[kFlapDetentEntries];
};

// The settings file: the simulator's system folder and "TARVOS.ini".
std::string SettingsFilePath();

// XPluginEnable: when there is no settings file, clears the flap-detent
// table and writes the default file. Anything else of that name is left
// alone (LoadSettings reports it).
void EnsureSettingsFile() EXCLUDES(OffsetLock);
// Writes the default settings file (truncating any existing one).
void WriteDefaultSettings();
// Reads every key of the file into memory and publishes the ATC texts. A
// missing key or an out-of-range value keeps the current setting; the
// access section starts from its defaults, and a malformed access value is
// reported and leaves its default.
void LoadSettings() EXCLUDES(OffsetLock);
// The access section as the last LoadSettings left it.
TcpAccessPolicy LoadedAccessPolicy() EXCLUDES(OffsetLock);

// Sets `field` to `text` (cut at its limit of 19 or 31 characters; it may
// hold fewer, up to a zero byte), copies it into its offset field and
// queues the save of its key (settings_saves.h): the file is written by the
// next FlushSettingSaves, after the caller has released OffsetLock.
void PublishAtcText(AtcField field, const char* text, size_t length)
    REQUIRES(OffsetLock);
// The same, writing the file at once (main thread or tests: the rewrite
// then happens under the caller's OffsetLock).
void StoreAtcText(AtcField field, const char* text, size_t length)
    REQUIRES(OffsetLock);
std::string AtcText(AtcField field) EXCLUDES(OffsetLock);

// Sets TuneValue (clamped to 0..20) and its text ("%02i"), and queues the
// save of "tune value" (written by the next FlushSettingSaves).
void SetTuneValue(int value) REQUIRES(OffsetLock);
// The same, writing the file at once.
void StoreTuneValue(int value) REQUIRES(OffsetLock);
std::string TuneValueText() EXCLUDES(OffsetLock);

FlapSettings CurrentFlapSettings() EXCLUDES(OffsetLock);
// Sets every flap-detent entry to 0.
void ClearFlapDetents() EXCLUDES(OffsetLock);

// Plain-text value access through the settings file.
std::string ReadSettingValue(const char* section, const char* key);
bool WriteSettingValue(const char* section, const char* key, const char* value);

}  // namespace tarvos

#endif  // TARVOS_SETTINGS_SETTINGS_H_
