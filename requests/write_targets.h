// The simulator references each fixed write handler sets: what a client's
// write at an offset changes in the simulator. Read by the check of the
// host's references at Enable (which handlers can have an effect here) and
// by the tool that lists the plugin's references for the check against the
// simulator's published list.
//
// Threads: constant tables; the suppression flags are set at Enable on the
// main thread, before the worker threads start, and read by the transport
// threads afterwards.
#ifndef TARVOS_REQUESTS_WRITE_TARGETS_H_
#define TARVOS_REQUESTS_WRITE_TARGETS_H_

#include <cstdint>
#include <span>

#include "offsets/reference_tables.h"

namespace tarvos {

// Handler `handler` sets the reference held in `slot` of `table` through
// the setter `access` (one kAccess* bit).
struct WriteTarget {
  uint16_t handler;
  ReferenceTable table;
  uint16_t slot;
  uint8_t access;
};

// Every simulator reference a fixed handler may set, in handler order.
// References of other plugins (x737, pushback) are not listed.
std::span<const WriteTarget> WriteTargets();

// Handlers that set no simulator reference: they press keys, buttons or
// commands, keep the value themselves or drive another plugin.
std::span<const uint16_t> HandlersWithoutReferences();

// A handler whose every reference cannot be written on this host has no
// effect; the dispatch skips it. Cleared for all handlers by
// ClearSuppressedHandlers.
void SuppressHandler(uint16_t handler);
void ClearSuppressedHandlers();
bool HandlerSuppressed(uint32_t handler);

}  // namespace tarvos

#endif  // TARVOS_REQUESTS_WRITE_TARGETS_H_
