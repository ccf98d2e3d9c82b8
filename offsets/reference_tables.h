// Handle tables of simulator datarefs and commands, filled once at start.
//
// Threads: filled by XPluginStart on the main thread before any worker
// thread exists; afterwards read without a lock by every thread. The only
// later writes are the late bindings of callback I (main thread): the x737
// slots of VariablesAccessMemBlock and the pushback slots of DataRefMemBlock.
// A transport thread racing with such a rebinding reads either the old or
// the new handle, both valid host handles.
#ifndef TARVOS_OFFSETS_REFERENCE_TABLES_H_
#define TARVOS_OFFSETS_REFERENCE_TABLES_H_

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "XPLMDataAccess.h"
#include "XPLMUtilities.h"
#include "offsets/offset_block.h"

namespace tarvos {

// Primary handle per offset: slot X holds the dataref offset X is computed
// from. Null when unset.
extern XPLMDataRef DataRefMemBlock[kOffsetSpaceSize];
// Variables (slots 0x0002 to 0x008D) and second handles for client writes
// (slots numbered by offset).
extern XPLMDataRef VariablesAccessMemBlock[kOffsetSpaceSize];

inline constexpr int kCommandSlots = 25;
// Simulator commands; slot 14 is never filled.
extern XPLMCommandRef CommandBlock[kCommandSlots];

// Late-binding state, recomputed by refresh callback I. Atomic because the
// transport threads read the flags without a lock.
extern std::atomic<int32_t> X737PluginId;
extern std::atomic<int32_t> X737Active;
extern std::atomic<int32_t> X737LookupPending;
extern std::atomic<int32_t> XPushbackPresent;
extern std::atomic<int32_t> XPushbackLookupPending;

// The host accessors the plugin uses on one reference, as bits: what the
// reference must answer on the simulator. A double used as a float is
// fine, the simulator converts its own doubles.
inline constexpr uint8_t kAccessNone = 0;  // looked up, never used
inline constexpr uint8_t kAccessInt = 1;
inline constexpr uint8_t kAccessFloat = 2;
inline constexpr uint8_t kAccessDouble = 4;
inline constexpr uint8_t kAccessIntArray = 8;
inline constexpr uint8_t kAccessFloatArray = 16;
inline constexpr uint8_t kAccessBytes = 32;

// One start-up dataref lookup: the handle of `name` goes to `slot` of the
// named table; `access` is every accessor used through that slot, for
// reading or writing.
enum class ReferenceTable { kDataRef, kVariables };
struct ReferenceLookup {
  ReferenceTable table;
  uint16_t slot;
  std::string name;
  uint8_t access = kAccessNone;
};
// Every lookup InitDataRefMemBlock makes, in lookup order (the late bindings
// of callback I aside).
std::vector<ReferenceLookup> ReferenceLookupCatalogue();
// The command looked up into CommandBlock[slot], or null for the slot that
// stays empty.
const char* CommandLookupName(int slot);

// Clears both handle tables and the command table (XPluginStart).
void ClearReferenceTables();
// Looks up every dataref into its slots, marks the write-protected bytes and
// logs "Init DataRefMemBlock & VariablesAccessMemBlock OK!". Returns 1.
int InitDataRefMemBlock();
// Looks up the 24 commands and logs "Init Command Block OK!".
void InitCommandBlock();
// XPluginEnable: the x737 and XPushback datarefs are looked up again on the
// next run of callback I that finds their plugin.
void ResetLateBindingsForEnable();
// The x737 and XPushback bindings, run by refresh callback I (main thread).
void RefreshLateBindings();

}  // namespace tarvos

#endif  // TARVOS_OFFSETS_REFERENCE_TABLES_H_
