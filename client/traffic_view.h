// The traffic view of `tarvos-client watch --traffic`: the user's position
// and the whole traffic table in one batch, rendered as one line per record
// in use (id, model, distance, bearing, altitude, ground speed), nearest
// first.
#ifndef TARVOS_CLIENT_TRAFFIC_VIEW_H_
#define TARVOS_CLIENT_TRAFFIC_VIEW_H_

#include <cstdint>
#include <string>
#include <vector>

#include "client/batch.h"

namespace tarvos::client {

// One traffic record as a client sees it.
struct TrafficEntry {
  int32_t id = 0;
  std::string model;
  double distance_nm = 0;
  double bearing_deg = 0;  // true, from the user to the aircraft
  double altitude_ft = 0;
  double ground_speed_kt = 0;
};

// Adds the reads of the view to `batch` (the user's latitude and
// longitude, the traffic records); returns the index of the first.
size_t AddTrafficReads(RequestBatch& batch);

// The records in use after an exchange, nearest first (equal distances in
// table order).
std::vector<TrafficEntry> DecodeTraffic(const RequestBatch& batch,
                                        size_t first_read);

// The table as text: a heading line and one line per entry, or a line
// saying that there is no traffic.
std::string RenderTraffic(const std::vector<TrafficEntry>& entries);

}  // namespace tarvos::client

#endif  // TARVOS_CLIENT_TRAFFIC_VIEW_H_
