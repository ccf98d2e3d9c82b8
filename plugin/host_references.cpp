#include "plugin/host_references.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "XPLMDataAccess.h"
#include "XPLMUtilities.h"
#include "base/status_log.h"
#include "offsets/reference_tables.h"
#include "offsets/weather.h"
#include "requests/write_targets.h"

namespace tarvos {
namespace {

using Kind = KnownDifferenceKind;

constexpr KnownDifference kKnownDifferences[] = {
    {"sim/aircraft/overflow/acf_has_nav", Kind::kMissing,
     "looked up, never read: no offset depends on it"},
    {"sim/cockpit/radios/nav2_course_degt", Kind::kMissing,
     "looked up, never read: no offset depends on it"},
    {"sim/weather/thunderstorm_percent", Kind::kMissing,
     "gone from the simulator 12: 0x6DAF reads 0 and its writes are skipped"},
    {"sim/operation/failures/failures", Kind::kReadOnly,
     "read-only from the simulator 12: the writes at 0x6DA4 and 0x6DAA are "
     "skipped there"},
    {"sim/weather/runway_friction", Kind::kSetterType,
     "0x6DA9 writes the float friction through the integer setter, which the "
     "simulator ignores"},
};

// The simulator keeps its wind speeds in metres per second from version 12
// on (the names still say knots).
constexpr int kFirstMetresPerSecondVersion = 12000;

XPLMDataRef Handle(ReferenceTable table, uint16_t slot) {
  return table == ReferenceTable::kDataRef ? DataRefMemBlock[slot]
                                           : VariablesAccessMemBlock[slot];
}

// What one reference name is used for: the offsets whose published value
// depends on it and the handlers that write it.
struct Use {
  XPLMDataRef handle = nullptr;
  bool found = false;
  std::vector<uint16_t> read_offsets;
  std::vector<uint16_t> handlers;
};

void AddSorted(std::vector<uint16_t>& list, uint16_t value) {
  auto at = std::lower_bound(list.begin(), list.end(), value);
  if (at == list.end() || *at != value) list.insert(at, value);
}

std::string OffsetList(const std::vector<uint16_t>& offsets) {
  std::string text = offsets.size() == 1 ? "offset " : "offsets ";
  for (size_t i = 0; i < offsets.size(); ++i) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%04X", offsets[i]);
    if (i > 0) text += ", ";
    text += hex;
  }
  return text;
}

}  // namespace

std::span<const KnownDifference> KnownHostDifferences() {
  return kKnownDifferences;
}

void CheckHostReferences() {
  SetWindSpeedsInMetresPerSecond(HostVersion() >= kFirstMetresPerSecondVersion);

  std::map<std::pair<ReferenceTable, uint16_t>, std::string> names;
  // Names in first-lookup order, so that the lines come in table order.
  std::vector<std::string> order;
  std::map<std::string, Use> uses;
  for (const ReferenceLookup& row : ReferenceLookupCatalogue()) {
    names[{row.table, row.slot}] = row.name;
    auto [it, added] = uses.try_emplace(row.name);
    if (added) order.push_back(row.name);
    Use& use = it->second;
    const XPLMDataRef handle = Handle(row.table, row.slot);
    if (handle != nullptr) {
      use.found = true;
      use.handle = handle;
    }
    // A variable's value feeds several offsets through the refresh code;
    // only the offset-numbered slots name the offset they publish.
    if (row.table == ReferenceTable::kDataRef && row.access != kAccessNone) {
      AddSorted(use.read_offsets, row.slot);
    }
  }
  for (const WriteTarget& target : WriteTargets()) {
    auto name = names.find({target.table, target.slot});
    if (name == names.end()) continue;
    AddSorted(uses[name->second].handlers, target.handler);
  }

  // A handler is skipped when none of the references it sets can take the
  // write here.
  ClearSuppressedHandlers();
  std::map<uint16_t, bool> handler_effective;
  for (const WriteTarget& target : WriteTargets()) {
    auto name = names.find({target.table, target.slot});
    const Use* use = name == names.end() ? nullptr : &uses[name->second];
    const XPLMDataRef handle = Handle(target.table, target.slot);
    const bool writable =
        use != nullptr && handle != nullptr && XPLMCanWriteDataRef(handle) != 0;
    handler_effective[target.handler] |= writable;
  }
  for (const auto& [handler, effective] : handler_effective) {
    if (!effective) SuppressHandler(handler);
  }

  for (const std::string& name : order) {
    const Use& use = uses[name];
    if (!use.found) {
      std::vector<uint16_t> offsets = use.read_offsets;
      for (uint16_t h : use.handlers) AddSorted(offsets, h);
      if (offsets.empty()) continue;
      StatusLine("TARVOS->%s does not exist here: %s %s no effect\n",
                 name.c_str(), OffsetList(offsets).c_str(),
                 offsets.size() == 1 ? "has" : "have");
    } else if (!use.handlers.empty() && XPLMCanWriteDataRef(use.handle) == 0) {
      StatusLine("TARVOS->%s is read-only here: %s %s no effect\n",
                 name.c_str(), OffsetList(use.handlers).c_str(),
                 use.handlers.size() == 1 ? "has" : "have");
    }
  }
}

int HostVersion() {
  int xplane = 0;
  int xplm = 0;
  XPLMHostApplicationID host = 0;
  XPLMGetVersions(&xplane, &xplm, &host);
  return xplane;
}

}  // namespace tarvos
