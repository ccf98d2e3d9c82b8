#include "settings/settings.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>

#include "base/file_access.h"
#include "base/paths.h"
#include "base/plugin_state.h"
#include "offsets/offset_block.h"
#include "settings/ini_file.h"
#include "settings/settings_report.h"
#include "settings/settings_saves.h"
#include "transport/access_policy.h"

namespace tarvos {
namespace {

constexpr const char kSectionMain[] = "TARVOS SETTINGS";
constexpr const char kSectionAtc[] = "TARVOS ATC SETTINGS";
constexpr const char kSectionFlaps[] = "TARVOS FLAPS SETTINGS";
constexpr const char kSectionAccess[] = "TARVOS NETWORK ACCESS";

constexpr int kTuneMin = 0;
constexpr int kTuneMax = 20;
constexpr int kDetentCountMin = 2;
constexpr int kDetentCountMax = 10;

enum class SettingKind {
  kTuneValue,
  kAtcText,
  kFlapSettings,
  kDetentCount,
  kFlapDetent,
  kListenAddress,
  kAllowedClients,
  kReadOnlyClients,
  kIdleTimeout,
};

// One key of the settings file. `index` is the AtcField or the detent
// number (1..10) where the kind needs one.
struct SettingKey {
  SettingKind kind;
  int index;
  const char* section;
  const char* key;
  const char* default_value;
};

// Every key in file order: the default file is written, and the file is
// loaded, in this order.
constexpr SettingKey kSettingKeys[] = {
    {SettingKind::kTuneValue, 0, kSectionMain, "Tune value", "00"},
    {SettingKind::kAtcText, 0, kSectionAtc, "ATC Number", "LH 5363"},
    {SettingKind::kAtcText, 1, kSectionAtc, "ATC Tail Number", "D-ABIB"},
    {SettingKind::kAtcText, 2, kSectionAtc, "ATC Airline name", "Lufthansa"},
    {SettingKind::kAtcText, 3, kSectionAtc, "ATC Aircraft type",
     "Boeing 737-800"},
    {SettingKind::kFlapSettings, 0, kSectionFlaps, "Flap Settings", "Inactive"},
    {SettingKind::kDetentCount, 0, kSectionFlaps, "Number of Detends", "02"},
    {SettingKind::kFlapDetent, 1, kSectionFlaps, "Flap detend 1", ""},
    {SettingKind::kFlapDetent, 2, kSectionFlaps, "Flap detend 2", ""},
    {SettingKind::kFlapDetent, 3, kSectionFlaps, "Flap detend 3", ""},
    {SettingKind::kFlapDetent, 4, kSectionFlaps, "Flap detend 4", ""},
    {SettingKind::kFlapDetent, 5, kSectionFlaps, "Flap detend 5", ""},
    {SettingKind::kFlapDetent, 6, kSectionFlaps, "Flap detend 6", ""},
    {SettingKind::kFlapDetent, 7, kSectionFlaps, "Flap detend 7", ""},
    {SettingKind::kFlapDetent, 8, kSectionFlaps, "Flap detend 8", ""},
    {SettingKind::kFlapDetent, 9, kSectionFlaps, "Flap detend 9", ""},
    {SettingKind::kFlapDetent, 10, kSectionFlaps, "Flap detend 10", ""},
    // Who may use the TCP server (access_policy.h). The defaults keep it
    // open to everyone.
    {SettingKind::kListenAddress, 0, kSectionAccess, "Listen address",
     "0.0.0.0"},
    {SettingKind::kAllowedClients, 0, kSectionAccess, "Allowed clients", "all"},
    {SettingKind::kReadOnlyClients, 0, kSectionAccess, "Read-only clients",
     "none"},
    {SettingKind::kIdleTimeout, 0, kSectionAccess, "Idle timeout seconds", "0"},
};

// The ATC texts: limit in characters and the offset field they mirror.
struct AtcFieldInfo {
  size_t limit;
  uint32_t offset;
  size_t field_size;
  const SettingKey* key;
};
constexpr AtcFieldInfo kAtcFields[] = {
    {19, kAtcFlightNumberOffset, 12, &kSettingKeys[1]},
    {19, kAtcTailNumberOffset, 12, &kSettingKeys[2]},
    {31, kAtcAirlineNameOffset, 24, &kSettingKeys[3]},
    {31, kAtcAircraftTypeOffset, 24, &kSettingKeys[4]},
};
constexpr size_t kAtcBufferSize = 32;

// The settings in memory, created with the defaults at load and kept across
// Disable and Enable.
struct SettingsState {
  // The tune value as the file or the window last gave it.
  std::string tune_text = "00";
  // The ATC identification texts, zero-padded so that the offset copy of a
  // short text ends in zeros.
  char AtcFlightNumber[kAtcBufferSize] = "LH 5363";
  char AtcTailNumber[kAtcBufferSize] = "D-ABIB";
  char AtcAirlineName[kAtcBufferSize] = "Lufthansa";
  char AtcAircraftType[kAtcBufferSize] = "Boeing 737-800";
  // The flaps section, including FlapDetentTable: read and written back.
  FlapSettings flaps{"Inactive", 0, 2, "02", {}};
  // The access section as last loaded (defaults for keys that are missing
  // or malformed).
  TcpAccessPolicy access;

  char* Atc(AtcField field) {
    switch (field) {
      case AtcField::kFlightNumber:
        return AtcFlightNumber;
      case AtcField::kTailNumber:
        return AtcTailNumber;
      case AtcField::kAirlineName:
        return AtcAirlineName;
      case AtcField::kAircraftType:
        break;
    }
    return AtcAircraftType;
  }
};
SettingsState g_settings GUARDED_BY(OffsetLock);

// Strict decimal: optional blanks and sign, digits, optional blanks.
std::optional<long> ParseInteger(const std::string& text) {
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(begin, &end, 10);
  if (end == begin || errno == ERANGE) return std::nullopt;
  while (*end == ' ' || *end == '\t') ++end;
  if (*end != '\0') return std::nullopt;
  return value;
}

// Leading-number form used by the detent triples ("12abc" reads 12).
int32_t LeadingInteger(std::string_view part) {
  std::string text(part);
  long value = std::strtol(text.c_str(), nullptr, 10);
  if (value > INT32_MAX) value = INT32_MAX;
  if (value < INT32_MIN) value = INT32_MIN;
  return static_cast<int32_t>(value);
}

void SetAtcLocked(AtcField field, const char* text, size_t length)
    REQUIRES(OffsetLock) {
  const AtcFieldInfo& info = kAtcFields[static_cast<int>(field)];
  char* buffer = g_settings.Atc(field);
  const size_t copy = length < info.limit ? length : info.limit;
  // Built aside first: `text` may be the setting's own buffer.
  char fresh[kAtcBufferSize] = {};
  std::memcpy(fresh, text, copy);
  std::memcpy(buffer, fresh, kAtcBufferSize);
  std::memcpy(OffsetBlock + info.offset, buffer, info.field_size);
}

void ApplyFlapDetent(FlapDetent& detent, const std::string& value) {
  if (value.empty()) {
    detent.set_flag = 0;
    return;
  }
  int32_t* fields[] = {&detent.set_flag, &detent.lever_value,
                       &detent.adjusted_value};
  std::string_view rest(value);
  for (int32_t* field : fields) {
    const size_t comma = rest.find(',');
    *field = LeadingInteger(rest.substr(0, comma));
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
}

// One key of the access section; false (policy untouched) when malformed.
bool ApplyAccessKey(const SettingKey& key, const std::string& value,
                    TcpAccessPolicy& policy) {
  switch (key.kind) {
    case SettingKind::kListenAddress:
      return ParseListenAddress(value, &policy.listen_address);
    case SettingKind::kAllowedClients:
      return ParseAddressSet(value, /*empty_means_everyone=*/true,
                             &policy.allowed);
    case SettingKind::kReadOnlyClients:
      return ParseAddressSet(value, /*empty_means_everyone=*/false,
                             &policy.read_only);
    case SettingKind::kIdleTimeout:
      return ParseIdleTimeout(value, &policy.idle_timeout_seconds);
    default:
      return true;
  }
}

void ApplyKey(const SettingKey& key, const std::string& value)
    REQUIRES(OffsetLock) {
  switch (key.kind) {
    case SettingKind::kTuneValue: {
      const std::optional<long> tune = ParseInteger(value);
      if (tune && *tune >= kTuneMin && *tune <= kTuneMax) {
        TuneValue.store(static_cast<int32_t>(*tune));
        g_settings.tune_text = value;
      }
      break;
    }
    case SettingKind::kAtcText:
      SetAtcLocked(static_cast<AtcField>(key.index), value.data(),
                   value.size());
      break;
    case SettingKind::kFlapSettings:
      g_settings.flaps.text = value;
      if (value == "Active") g_settings.flaps.active = 1;
      if (value == "Inactive") g_settings.flaps.active = 0;
      break;
    case SettingKind::kDetentCount: {
      const std::optional<long> count = ParseInteger(value);
      if (count && *count >= kDetentCountMin && *count <= kDetentCountMax) {
        g_settings.flaps.detent_count = static_cast<int32_t>(*count);
        g_settings.flaps.detent_text = value;
      }
      break;
    }
    case SettingKind::kFlapDetent:
      ApplyFlapDetent(g_settings.flaps.FlapDetentTable[key.index - 1], value);
      break;
    case SettingKind::kListenAddress:
    case SettingKind::kAllowedClients:
    case SettingKind::kReadOnlyClients:
    case SettingKind::kIdleTimeout:
      if (!ApplyAccessKey(key, value, g_settings.access)) {
        ReportSettingsProblem("TARVOS->TARVOS.ini: \"" + std::string(key.key) +
                              " = " + value + "\" is not valid, using " +
                              key.default_value + "\n");
      }
      break;
  }
}

}  // namespace

std::string SettingsFilePath() { return SystemFilePath(kSettingsFileName); }

std::string ReadSettingValue(const char* section, const char* key) {
  return ReadIniValue(SettingsFilePath(), section, key).value_or("");
}

bool WriteSettingValue(const char* section, const char* key,
                       const char* value) {
  LockGuard<Lock> file(SettingsFileLock);
  return WriteIniValue(SettingsFilePath(), section, key, value);
}

void WriteDefaultSettings() {
  const std::string path = SettingsFilePath();
  char preamble[64];
  std::snprintf(preamble, sizeof preamble, "TARVOS Version %s ini file\n\n",
                kPluginVersion);
  constexpr std::string_view kSections[] = {kSectionMain, kSectionAtc,
                                            kSectionFlaps, kSectionAccess};
  // Each key goes last into its section, which yields the file in table
  // order. The whole file is made first and written in one step: a disk
  // that fills up part of the way leaves no settings file at all (so the
  // next Enable writes the defaults again), never one with some keys.
  std::string text = IniSkeleton(preamble, kSections, 4);
  for (const SettingKey& key : kSettingKeys) {
    text = RewriteIniValue(text, key.section, key.key, key.default_value);
  }
  LockGuard<Lock> file(SettingsFileLock);
  CreateIniFile(path, text);
}

void ClearFlapDetents() {
  LockGuard<RecursiveLock> hold(OffsetLock);
  for (FlapDetent& detent : g_settings.flaps.FlapDetentTable)
    detent = FlapDetent{};
}

void EnsureSettingsFile() {
  // Only a missing file is replaced by the default one. Something else of
  // that name (a directory, a FIFO, a file that cannot be read) is never
  // opened for writing: that could block, or destroy a file the user can
  // still mend. LoadSettings reports it and the defaults stay in memory.
  if (ProbeFile(SettingsFilePath()).status != FileStatus::kMissing) return;
  ClearFlapDetents();
  WriteDefaultSettings();
}

void LoadSettings() {
  const std::string path = SettingsFilePath();
  // Read once, as a regular file and without blocking; a file that cannot
  // be read is reported once and the settings in memory stay as they are.
  std::string text;
  const bool readable = ReadIniText(path, &text).ok();
  LockGuard<RecursiveLock> hold(OffsetLock);
  // The access section starts from its defaults on every load.
  g_settings.access = TcpAccessPolicy();
  for (const SettingKey& key : kSettingKeys) {
    // Texts not found in the file keep their current value; the ATC texts
    // are published either way so the offsets always show the settings.
    std::optional<std::string> value;
    if (readable) value = FindIniValue(text, key.section, key.key);
    if (value) {
      ApplyKey(key, *value);
    } else if (key.kind == SettingKind::kAtcText) {
      const char* current = g_settings.Atc(static_cast<AtcField>(key.index));
      SetAtcLocked(static_cast<AtcField>(key.index), current,
                   strnlen(current, kAtcBufferSize));
    }
  }
}

TcpAccessPolicy LoadedAccessPolicy() {
  LockGuard<RecursiveLock> hold(OffsetLock);
  return g_settings.access;
}

void PublishAtcText(AtcField field, const char* text, size_t length) {
  SetAtcLocked(field, text, length);
  const AtcFieldInfo& info = kAtcFields[static_cast<int>(field)];
  const char* stored = g_settings.Atc(field);
  QueueSettingSave(info.key->section, info.key->key,
                   std::string(stored, strnlen(stored, kAtcBufferSize)));
}

void StoreAtcText(AtcField field, const char* text, size_t length) {
  PublishAtcText(field, text, length);
  FlushSettingSaves();
}

std::string AtcText(AtcField field) {
  LockGuard<RecursiveLock> hold(OffsetLock);
  const char* text = g_settings.Atc(field);
  return std::string(text, strnlen(text, kAtcBufferSize));
}

void SetTuneValue(int value) {
  if (value < kTuneMin) value = kTuneMin;
  if (value > kTuneMax) value = kTuneMax;
  TuneValue.store(value);
  char text[8];
  std::snprintf(text, sizeof text, "%02i", value);
  g_settings.tune_text = text;
  QueueSettingSave(kSectionMain, "tune value", text);
}

void StoreTuneValue(int value) {
  SetTuneValue(value);
  FlushSettingSaves();
}

std::string TuneValueText() {
  LockGuard<RecursiveLock> hold(OffsetLock);
  return g_settings.tune_text;
}

FlapSettings CurrentFlapSettings() {
  LockGuard<RecursiveLock> hold(OffsetLock);
  return g_settings.flaps;
}

}  // namespace tarvos
