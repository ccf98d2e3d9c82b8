#include "client/traffic_view.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "offsets/catalogue.h"

namespace tarvos::client {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRad = kPi / 180.0;
constexpr double kEarthRadiusNm = 3440.065;

// The catalogue item of record 1 of a traffic field.
CatalogueItem TrafficField(const char* field) {
  std::string name = std::string("traffic.1.") + field;
  return FindCatalogueItem(name);
}

double Value(const CatalogueItem& item, const uint8_t* bytes) {
  return LoadRaw(*item.row, bytes) * item.row->scale + item.row->bias;
}

}  // namespace

size_t AddTrafficReads(RequestBatch& batch) {
  const CatalogueItem lat = FindCatalogueItem("position.latitude");
  const CatalogueItem lon = FindCatalogueItem("position.longitude");
  const CatalogueItem id = TrafficField("id");
  const size_t first = batch.AddRead(lat.offset, lat.row->size);
  batch.AddRead(lon.offset, lon.row->size);
  batch.AddRead(id.offset, uint32_t{id.row->stride} * id.row->repeat);
  return first;
}

std::vector<TrafficEntry> DecodeTraffic(const RequestBatch& batch,
                                        size_t first_read) {
  const CatalogueItem lat_item = FindCatalogueItem("position.latitude");
  const CatalogueItem lon_item = FindCatalogueItem("position.longitude");
  const CatalogueItem id = TrafficField("id");
  const CatalogueItem lat = TrafficField("latitude");
  const CatalogueItem lon = TrafficField("longitude");
  const CatalogueItem alt = TrafficField("altitude");
  const CatalogueItem gs = TrafficField("ground_speed");
  const CatalogueItem model = TrafficField("model");

  const double user_lat = Value(lat_item, batch.Data(first_read)) * kRad;
  const double user_lon = Value(lon_item, batch.Data(first_read + 1)) * kRad;
  const uint8_t* table = batch.Data(first_read + 2);
  const uint32_t stride = id.row->stride;

  std::vector<TrafficEntry> out;
  for (uint32_t k = 0; k < id.row->repeat; ++k) {
    const uint8_t* record = table + k * stride;
    auto at = [&](const CatalogueItem& f) {
      return record + (f.offset - id.offset);
    };
    TrafficEntry e;
    e.id = static_cast<int32_t>(LoadRaw(*id.row, at(id)));
    if (e.id == 0) continue;
    const char* name = reinterpret_cast<const char*>(at(model));
    e.model.assign(name, strnlen(name, model.row->size));
    const double la = Value(lat, at(lat)) * kRad;
    const double lo = Value(lon, at(lon)) * kRad;
    const double dlat = la - user_lat;
    const double dlon = lo - user_lon;
    const double h = std::sin(dlat / 2) * std::sin(dlat / 2) +
                     std::cos(user_lat) * std::cos(la) * std::sin(dlon / 2) *
                         std::sin(dlon / 2);
    e.distance_nm = 2 * kEarthRadiusNm * std::asin(std::min(1.0, std::sqrt(h)));
    double bearing =
        std::atan2(std::sin(dlon) * std::cos(la),
                   std::cos(user_lat) * std::sin(la) -
                       std::sin(user_lat) * std::cos(la) * std::cos(dlon)) /
        kRad;
    if (bearing < 0) bearing += 360.0;
    e.bearing_deg = bearing;
    e.altitude_ft = Value(alt, at(alt));
    e.ground_speed_kt = Value(gs, at(gs));
    out.push_back(std::move(e));
  }
  std::stable_sort(out.begin(), out.end(),
                   [](const TrafficEntry& a, const TrafficEntry& b) {
                     return a.distance_nm < b.distance_nm;
                   });
  return out;
}

std::string RenderTraffic(const std::vector<TrafficEntry>& entries) {
  if (entries.empty()) return "no traffic\n";
  char heading[96];
  std::snprintf(heading, sizeof heading, "%-12s %-15s %8s  %3s  %6s  %6s\n",
                "ID", "MODEL", "DIST nm", "BRG", "ALT ft", "GS kt");
  std::string text = heading;
  for (const TrafficEntry& e : entries) {
    char line[160];
    long bearing = std::lround(e.bearing_deg) % 360;
    std::snprintf(line, sizeof line, "%-12d %-15s %8.1f  %03ld  %6.0f  %6.0f\n",
                  e.id, e.model.c_str(), e.distance_nm, bearing, e.altitude_ft,
                  e.ground_speed_kt);
    text += line;
  }
  return text;
}

}  // namespace tarvos::client
