#include "client/watch_preset.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "client/named_field.h"
#include "offsets/catalogue.h"

namespace tarvos::client {
namespace {

// One row per shown value, in display order.
constexpr PresetRow kPreset[] = {
    {"latitude", "position.latitude", ""},
    {"longitude", "position.longitude", ""},
    {"altitude", "position.altitude", "ft"},
    {"heading (true)", "attitude.heading", ""},
    {"IAS", "speed.indicated_airspeed", ""},
    {"TAS", "speed.true_airspeed", ""},
    {"ground speed", "speed.ground", "kt"},
    {"vertical speed", "speed.vertical", "ft/min"},
    {"COM1", "radio.com1.frequency", ""},
    {"COM2", "radio.com2.frequency", ""},
    {"NAV1", "radio.nav1.frequency", ""},
    {"NAV1 ident", "radio.nav1.ident", ""},
    {"NAV1 DME", "radio.nav1.dme_text", ""},
    {"NAV2", "radio.nav2.frequency", ""},
    {"NAV2 ident", "radio.nav2.ident", ""},
    {"NAV2 DME", "radio.nav2.dme_text", ""},
    {"ADF1", "radio.adf1.frequency", ""},
    {"transponder", "radio.transponder.code", ""},
    {"AP master", "autopilot.master", ""},
    {"flight director", "autopilot.flight_director", ""},
    {"AP NAV1 hold", "autopilot.nav1_hold", ""},
    {"AP heading hold", "autopilot.heading_hold", ""},
    {"AP heading", "autopilot.heading", ""},
    {"AP altitude hold", "autopilot.altitude_hold", ""},
    {"AP altitude", "autopilot.altitude", ""},
    {"AP V/S hold", "autopilot.vertical_speed_hold", ""},
    {"AP V/S", "autopilot.vertical_speed", ""},
    {"AP speed hold", "autopilot.airspeed_hold", ""},
    {"AP airspeed", "autopilot.airspeed", ""},
    {"AP Mach", "autopilot.mach", ""},
    {"eng 1 N1", "engine.1.n1", ""},
    {"eng 1 N2", "engine.1.n2", ""},
    {"eng 2 N1", "engine.2.n1", ""},
    {"eng 2 N2", "engine.2.n2", ""},
    {"eng 1 fuel flow", "engine.1.fuel_flow_f64", ""},
    {"eng 1 EGT", "engine.1.egt", ""},
    {"eng 1 oil temp", "engine.1.oil_temperature", ""},
    {"eng 1 oil press", "engine.1.oil_pressure", ""},
    {"eng 1 EPR", "engine.1.epr", ""},
    {"flaps", "controls.flaps", ""},
    {"gear handle", "gear.handle", ""},
    {"spoilers", "spoilers.handle", ""},
    {"parking brake", "brakes.parking", ""},
    {"fuel centre", "fuel.centre.level", ""},
    {"fuel left main", "fuel.left_main.level", ""},
    {"fuel right main", "fuel.right_main.level", ""},
    {"temperature", "weather.temperature", ""},
    {"sea level press", "weather.sea_level_pressure", ""},
    {"wind", "weather.wind.speed", ""},
    {"wind from (true)", "weather.wind.direction", ""},
    {"visibility", "weather.visibility", ""},
    {"local time", "clock.local_text", ""},
    {"day of year", "clock.day_of_year", ""},
};

// The preset's catalogue items, resolved once; a name the catalogue does
// not know (a test checks there is none) is left out.
struct PresetItem {
  const PresetRow* row;
  CatalogueItem item;
};
const std::vector<PresetItem>& Items() {
  static const std::vector<PresetItem> items = [] {
    std::vector<PresetItem> v;
    for (const PresetRow& row : kPreset) {
      CatalogueItem item = FindCatalogueItem(row.name);
      if (item.row != nullptr) v.push_back({&row, item});
    }
    return v;
  }();
  return items;
}

std::string Hex(const uint8_t* b, size_t n) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    if (i > 0) out += ' ';
    out += kDigits[b[i] >> 4];
    out += kDigits[b[i] & 15];
  }
  return out;
}

}  // namespace

std::span<const PresetRow> PresetRows() { return kPreset; }

void AddPresetReads(RequestBatch& batch) {
  for (const PresetItem& p : Items())
    batch.AddRead(p.item.offset, p.item.row->size);
}

std::string RenderPreset(const RequestBatch& batch, bool raw) {
  size_t width = 0;
  for (const PresetItem& p : Items())
    width = std::max(width, std::strlen(p.row->label));
  std::string out;
  size_t n = std::min(Items().size(), batch.ReadCount());
  for (size_t i = 0; i < n; ++i) {
    const PresetItem& p = Items()[i];
    std::string label = p.row->label;
    out += label;
    out.append(width - label.size() + 2, ' ');
    if (raw) {
      char where[16];
      std::snprintf(where, sizeof(where), "0x%04X  ", p.item.offset);
      out += where;
      out += Hex(batch.Data(i), p.item.row->size);
    } else {
      out += FormatItemValueIn(p.item, batch.Data(i), p.row->unit);
    }
    out += '\n';
  }
  return out;
}

}  // namespace tarvos::client
