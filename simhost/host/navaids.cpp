// The navaid database: a handful of navaids around the default position,
// searched by type, frequency, identifier and name fragment and distance.
// A navaid's reference is its index in the list.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "XPLMNavigation.h"
#include "simhost/host/host_state.h"

namespace simhost {
namespace {

// Sizes of the caller buffers of XPLMGetNavAidInfo.
constexpr size_t kIdSize = 32;
constexpr size_t kNameSize = 256;

// Case-insensitive "fragment occurs in text"; an empty fragment matches.
bool ContainsFragment(const std::string& text, const char* fragment) {
  std::string needle(fragment);
  auto it = std::search(text.begin(), text.end(), needle.begin(), needle.end(),
                        [](char a, char b) {
                          return std::toupper(static_cast<unsigned char>(a)) ==
                                 std::toupper(static_cast<unsigned char>(b));
                        });
  return it != text.end() || needle.empty();
}

// Squared angular distance with longitude scaled by the latitude; enough to
// rank navaids by nearness.
double DistanceScore(const Navaid& n, float lat, float lon) {
  double dlat = n.latitude - lat;
  double dlon = (n.longitude - lon) * std::cos(lat * std::numbers::pi / 180.0);
  return dlat * dlat + dlon * dlon;
}

}  // namespace

// The runway is 16R at 47.46 N, 122.31 W, heading 163 true, elevation 130 m.
void DefineDefaultNavaids(Host::State& s) REQUIRES(s.mu) {
  s.navaids = {
      {xplm_Nav_VOR, 47.4353f, -122.3098f, 108, 11680, 20.0f, "SEA",
       "SEATTLE VORTAC"},
      {xplm_Nav_DME, 47.4353f, -122.3098f, 108, 11680, 0.0f, "SEA",
       "SEATTLE VORTAC DME"},
      {xplm_Nav_NDB, 47.5380f, -122.3080f, 6, 362, 0.0f, "BF",
       "NORTH FIELD NDB"},
      {xplm_Nav_ILS, 47.4390f, -122.3110f, 110, 11030, 163.0f, "ISNQ",
       "KSEA 16R ILS-cat-III"},
      {xplm_Nav_GlideSlope, 47.4630f, -122.3090f, 130, 11030, 163.0f, "ISNQ",
       "KSEA 16R GS"},
      {xplm_Nav_DME, 47.4630f, -122.3090f, 130, 11030, 0.0f, "ISNQ",
       "KSEA 16R DME-ILS"},
      {xplm_Nav_OuterMarker, 47.6250f, -122.3600f, 60, 0, 163.0f, "",
       "KSEA 16R OM"},
      {xplm_Nav_Airport, 47.4490f, -122.3090f, 130, 0, 0.0f, "KSEA",
       "Seattle Tacoma Intl"},
  };
}

void Host::ClearNavaids() {
  simhost::HostLock lock(state_->mu);
  state_->navaids.clear();
}

XPLMNavRef Host::AddNavaid(const Navaid& navaid) {
  simhost::HostLock lock(state_->mu);
  state_->navaids.push_back(navaid);
  return static_cast<XPLMNavRef>(state_->navaids.size() - 1);
}

void Host::AddGeneratedNavaids(size_t count, uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> lat(-70.0f, 72.0f);
  std::uniform_real_distribution<float> lon(-180.0f, 180.0f);
  std::uniform_real_distribution<float> heading(0.0f, 360.0f);
  std::uniform_int_distribution<int> height(0, 2500);
  // VOR and ILS channels: 108.00 to 117.95 MHz in 50 kHz steps; localizers
  // on the odd tenths from 108.10 to 111.95.
  std::uniform_int_distribution<int> vor_channel(0, 199);
  std::uniform_int_distribution<int> ils_channel(0, 39);
  std::uniform_int_distribution<int> ndb(190, 1750);
  std::uniform_int_distribution<int> letter(0, 25);
  std::uniform_int_distribution<int> kind(0, 99);
  auto ident = [&](int letters) {
    std::string id;
    for (int i = 0; i < letters; ++i)
      id += static_cast<char>('A' + letter(rng));
    return id;
  };
  std::vector<Navaid> generated;
  generated.reserve(count);
  while (generated.size() < count) {
    Navaid n;
    n.latitude = lat(rng);
    n.longitude = lon(rng);
    n.height = static_cast<float>(height(rng));
    const int k = kind(rng);
    if (k < 20) {  // a VOR-DME: two navaids
      n.type = xplm_Nav_VOR;
      n.frequency = 10800 + 5 * vor_channel(rng);
      n.id = ident(3);
      n.name = n.id + " VOR-DME";
      generated.push_back(n);
      n.type = xplm_Nav_DME;
    } else if (k < 40) {  // an ILS: localizer, glide slope and DME
      n.type = xplm_Nav_ILS;
      const int c = ils_channel(rng);
      n.frequency = 10810 + 20 * (c / 2) + 5 * (c % 2);
      n.heading = heading(rng);
      n.id = "I" + ident(3);
      n.name = n.id + " ILS";
      generated.push_back(n);
      n.type = xplm_Nav_GlideSlope;
      n.latitude += 0.02f;
      n.name = n.id + " GS";
      generated.push_back(n);
      n.type = xplm_Nav_DME;
      n.name = n.id + " DME-ILS";
    } else if (k < 70) {
      n.type = xplm_Nav_NDB;
      n.frequency = ndb(rng);
      n.id = ident(2);
      n.name = n.id + " NDB";
    } else if (k < 78) {
      n.type = xplm_Nav_OuterMarker;
      n.name = "OM";
    } else {
      n.type = xplm_Nav_Fix;
      n.id = ident(5);
      n.name = n.id;
    }
    generated.push_back(n);
  }
  generated.resize(count);
  simhost::HostLock lock(state_->mu);
  // After the stations already there, whose references stay valid.
  state_->navaids.insert(state_->navaids.end(), generated.begin(),
                         generated.end());
}

std::vector<Navaid> Host::Navaids() const {
  simhost::HostLock lock(state_->mu);
  return state_->navaids;
}

}  // namespace simhost

// Without a position the first match in database order wins; with one (both
// latitude and longitude given), the nearest match.
XPLMNavRef XPLMFindNavAid(const char* inNameFragment, const char* inIDFragment,
                          float* inLat, float* inLon, int* inFrequency,
                          XPLMNavType inType) {
  auto& s = simhost::HostState();
  simhost::HostLock lock(s.mu);
  bool by_position = inLat != nullptr && inLon != nullptr;
  XPLMNavRef best = XPLM_NAV_NOT_FOUND;
  double best_score = std::numeric_limits<double>::infinity();
  for (size_t i = 0; i < s.navaids.size(); ++i) {
    const simhost::Navaid& n = s.navaids[i];
    if ((n.type & inType) == 0) continue;
    if (inFrequency != nullptr && n.frequency != *inFrequency) continue;
    if (inIDFragment != nullptr &&
        !simhost::ContainsFragment(n.id, inIDFragment)) {
      continue;
    }
    if (inNameFragment != nullptr &&
        !simhost::ContainsFragment(n.name, inNameFragment)) {
      continue;
    }
    if (!by_position) return static_cast<XPLMNavRef>(i);
    double score = simhost::DistanceScore(n, *inLat, *inLon);
    if (score < best_score) {
      best_score = score;
      best = static_cast<XPLMNavRef>(i);
    }
  }
  return best;
}

// An unknown reference (XPLM_NAV_NOT_FOUND among them) leaves every output
// as it was, so a caller that reads the result of a failed search keeps what
// it read before.
void XPLMGetNavAidInfo(XPLMNavRef inRef, XPLMNavType* outType,
                       float* outLatitude, float* outLongitude,
                       float* outHeight, int* outFrequency, float* outHeading,
                       char* outID, char* outName, char* outReg) {
  auto& s = simhost::HostState();
  simhost::HostLock lock(s.mu);
  if (inRef < 0 || static_cast<size_t>(inRef) >= s.navaids.size()) return;
  const simhost::Navaid& n = s.navaids[inRef];
  if (outType != nullptr) *outType = n.type;
  if (outLatitude != nullptr) *outLatitude = n.latitude;
  if (outLongitude != nullptr) *outLongitude = n.longitude;
  if (outHeight != nullptr) *outHeight = n.height;
  if (outFrequency != nullptr) *outFrequency = n.frequency;
  if (outHeading != nullptr) *outHeading = n.heading;
  simhost::CopyBounded(n.id, outID, simhost::kIdSize);
  simhost::CopyBounded(n.name, outName, simhost::kNameSize);
  if (outReg != nullptr) *outReg = 1;  // one byte: in the loaded region
}
