// The soak: the plugin linked in-process and attached to the stand-in host,
// flying the scripted flight at 60 frames a second with 95 traffic slots
// whose aircraft count keeps changing, a Disable/Enable cycle every few
// seconds, and eight TCP and two local clients reading every catalogue item
// and writing random valid and invalid values to every writable one; four
// of the TCP clients also subscribe to the position every frame and to a
// constant on change only.
//
// Checked as it runs (any failure makes the exit status 1):
//   - every latitude and longitude read is a value the flight published
//     (a read made of the halves of two published values is torn);
//   - 0x3304 reads 0x50000004;
//   - every pushed update's seq grows and its frame never goes back, the
//     latitude and longitude in one update are a pair the flight published
//     in one frame, and a changes-only subscription to a constant gets its
//     snapshot and nothing more;
//   - the plugin's share of the longest frame (from one frame's start to
//     the next) stays under --frame-bound, counting the time the main
//     thread spent in the plugin less the time the scheduler kept it off
//     the CPU there;
//   - at every Disable no plugin thread is left, and at the end the
//     process has the descriptors and threads it started with;
//   - every client gets served again after each Enable;
//   - deliberate writes of the offsets the random writes leave out (pause,
//     simulation rate, an ATC text, a relocation and a heading) take
//     effect;
//   - the host records no misuse of its API (host errors).
// Random writes leave those offsets out: a relocation makes a position
// read unpredictable, pause stops the flight, a rate changes its pace and
// the ATC texts are saved to TARVOS.ini on every change.
//
// Usage: soak [--seconds N] [--frame-bound SHARE] [--pace-ms MS]
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "XPLMPlugin.h"
#include "bench/soak/soak_checks.h"
#include "client/batch.h"
#include "client/connection.h"
#include "client/session.h"
#include "offsets/catalogue.h"
#include "offsets/coding.h"
#include "offsets/position.h"
#include "simhost/flight/flight_model.h"
#include "simhost/host/host.h"
#include "tests/support/linked_plugin.h"
#include "transport/server_options.h"

namespace tarvos::soak {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kTcpClients = 8;
constexpr int kLocalClients = 2;
constexpr int kClients = kTcpClients + kLocalClients;
// TCP clients from this index on also subscribe.
constexpr int kFirstSubscriber = 4;
constexpr double kFps = 60;
constexpr int kTrafficSlots = 95;
constexpr auto kTrafficChangeEvery = std::chrono::seconds(2);
constexpr auto kCycleEvery = std::chrono::seconds(4);
constexpr auto kDeliberateEvery = std::chrono::seconds(9);
// A client not served for this long after an Enable has been starved.
constexpr auto kStarved = std::chrono::seconds(10);
// Bytes of read records per batch (the TCP frame holds 32 KB).
constexpr size_t kReadBytesPerBatch = 6000;

constexpr char kLatitudeDataref[] = "sim/flightmodel/position/latitude";
constexpr char kLongitudeDataref[] = "sim/flightmodel/position/longitude";
constexpr uint32_t kLatitude = 0x0560;
constexpr uint32_t kLongitude = 0x0568;
constexpr uint32_t kHeading = 0x0580;
constexpr uint32_t kPause = 0x0262;
constexpr uint32_t kRate = 0x0C1A;
constexpr uint32_t kFlightNumber = 0x3130;

struct Options {
  double seconds = 60;
  double frame_bound = 0.5;
  int pace_ms = 1;  // each client's pause between batches
};

struct Item {
  uint32_t offset;
  uint32_t size;
  Encoding encoding;
};

// Every catalogue item, and the writable ones the random writes may use.
struct Map {
  std::vector<Item> reads;
  std::vector<Item> writes;
};

bool StartsWith(const char* s, const char* prefix) {
  return std::strncmp(s, prefix, std::strlen(prefix)) == 0;
}

Map BuildMap() {
  Map m;
  ForEachCatalogueItem([&](const CatalogueItem& item) {
    const OffsetRow& r = *item.row;
    const Item it{item.offset, r.size, r.encoding};
    m.reads.push_back(it);
    if (r.access == Access::kRead) return;
    if (StartsWith(r.name, "position.") || StartsWith(r.name, "attitude.") ||
        StartsWith(r.name, "speed.") || StartsWith(r.name, "atc.") ||
        std::strcmp(r.name, "sim.paused") == 0 ||
        std::strcmp(r.name, "sim.rate") == 0) {
      return;
    }
    m.writes.push_back(it);
  });
  return m;
}

struct ClientStats {
  std::atomic<long> batches{0};
  std::atomic<long> reconnects{0};
};

// What the main thread and the clients share.
struct Shared {
  Options options;
  Map map;
  std::atomic<bool> stop{false};
  std::atomic<int> failures{0};
  std::mutex report_mu;
  std::vector<std::string> reports;  // the first few failures

  PublishedValues latitudes, longitudes;
  PublishedPairs positions;
  std::atomic<long> updates{0};
  std::atomic<long> position_updates_checked{0};
  // Odd while a deliberate relocation is in progress: position reads made
  // across such a window are not checked.
  std::atomic<uint64_t> relocation_epoch{0};
  std::atomic<long> position_reads{0};
  std::atomic<long> position_reads_skipped{0};
  std::atomic<long> protocol_reads{0};
  std::atomic<long> deliberate_rounds{0};
  std::atomic<long> deliberate_abandoned{0};
  // Set calls the plugin made on the attitude quaternion (counted by the
  // main thread from the host's record).
  std::atomic<long> quaternion_sets{0};
  std::atomic<long> host_errors{0};
  // Set while a deliberate round runs; the main thread then holds the
  // Disable/Enable cycle back.
  std::atomic<bool> deliberate_active{false};
  // The plugin's TCP port (0 while disabled) and local endpoint.
  std::atomic<uint16_t> port{0};
  std::string endpoint;
  // When the plugin was last enabled, for the starvation check.
  std::atomic<int64_t> enabled_at_ns{0};
  ClientStats stats[kClients];
};

void Fail(Shared& s, const std::string& what) {
  s.failures.fetch_add(1);
  std::lock_guard<std::mutex> hold(s.report_mu);
  if (s.reports.size() < 20) s.reports.push_back(what);
  std::fprintf(stderr, "soak: FAILED: %s\n", what.c_str());
}

int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             Clock::now().time_since_epoch())
      .count();
}

std::vector<uint8_t> LittleEndian(uint64_t v, size_t size) {
  std::vector<uint8_t> b(size);
  // Wider items (texts) get the value in their first eight bytes.
  for (size_t i = 0; i < size && i < 8; ++i) {
    b[i] = static_cast<uint8_t>(v >> (8 * i));
  }
  return b;
}

// A value for a writable item: random bytes (mostly invalid), a small
// integer, or a value the client read there before (valid by definition).
std::vector<uint8_t> RandomValue(
    std::mt19937_64& rng, const Item& item,
    const std::unordered_map<uint32_t, std::vector<uint8_t>>& seen) {
  switch (rng() % 3) {
    case 0: {
      std::vector<uint8_t> b(item.size);
      for (uint8_t& x : b) x = static_cast<uint8_t>(rng());
      return b;
    }
    case 1: {
      static const int64_t kSmall[] = {0, 1, 2, 3, -1, 255, 256, 0x7FFF};
      return LittleEndian(static_cast<uint64_t>(kSmall[rng() % 8]), item.size);
    }
    default: {
      auto it = seen.find(item.offset);
      if (it != seen.end()) return it->second;
      return std::vector<uint8_t>(item.size, 0);
    }
  }
}

std::unique_ptr<client::Connection> Connect(Shared& s, int index) {
  std::string error;
  if (index < kTcpClients) {
    const uint16_t port = s.port.load();
    if (port == 0) return nullptr;
    return client::ConnectSession("127.0.0.1", port, &error, 2000);
  }
  return client::ConnectLocal(s.endpoint, &error, 2000);
}

// One exchange of a deliberate round; false when the connection failed
// (the round is then abandoned, not failed: a Disable may have come first).
bool Exchange(client::Connection& c, client::RequestBatch& b) {
  std::string error;
  return c.Exchange(b, &error);
}

void Sleep(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Waits until the host has stepped `frames` more frames (at most 5 s): a
// write's effects are seen once the flight and the plugin's callbacks have
// run, and frames can be slow under a sanitizer.
void WaitFrames(int64_t frames) {
  simhost::Host& host = simhost::Host::Get();
  const int64_t until = host.FrameCount() + frames;
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  while (host.FrameCount() < until && Clock::now() < deadline) Sleep(5);
}

double Degrees(uint32_t offset, const uint8_t* bytes) {
  const OffsetRow* row = FindRowAt(offset);
  return LoadRaw(*row, bytes) * row->scale + row->bias;
}

// The writes the random ones leave out, each checked on its own: pause,
// simulation rate, an ATC text, a relocation and a heading. False when the
// connection broke (the round is abandoned).
bool DeliberateRound(Shared& s, client::Connection& c) {
  simhost::Host& host = simhost::Host::Get();
  client::RequestBatch b;

  // Pause and run again.
  b.AddWrite(kPause, {1});
  if (!Exchange(c, b)) return false;
  Sleep(300);
  WaitFrames(35);  // 0x0262 is refreshed every 31 frames
  b.Clear();
  const size_t paused = b.AddRead(kPause, 1);
  if (!Exchange(c, b)) return false;
  if (b.U8(paused) != 1 || host.GetInt("sim/time/paused") != 1) {
    Fail(s, "a pause write did not pause the simulator");
  }
  b.Clear();
  b.AddWrite(kPause, {0});
  if (!Exchange(c, b)) return false;

  // Twice the simulation rate, then back.
  b.Clear();
  b.AddWriteU16(kRate, 512);
  if (!Exchange(c, b)) return false;
  Sleep(300);
  WaitFrames(2);
  if (host.GetInt("sim/time/sim_speed") != 2) {
    Fail(s, "a simulation rate write of 2x did not reach the simulator");
  }
  b.Clear();
  b.AddWriteU16(kRate, 256);
  if (!Exchange(c, b)) return false;

  // An ATC text reaches TARVOS.ini.
  char text[12] = {};
  std::snprintf(text, sizeof text, "SOAK%ld", s.deliberate_rounds.load());
  b.Clear();
  b.AddWrite(kFlightNumber, std::vector<uint8_t>(text, text + sizeof text));
  if (!Exchange(c, b)) return false;
  b.Clear();
  const size_t atc = b.AddRead(kFlightNumber, 12);
  if (!Exchange(c, b)) return false;
  if (b.Text(atc) != text) Fail(s, "the ATC flight number did not read back");
  // Saved once the write is served; the file is read through the host's
  // system folder.
  {
    const std::string ini = host.SystemPath() + "TARVOS.ini";
    FILE* f = std::fopen(ini.c_str(), "rb");
    std::string content;
    if (f != nullptr) {
      char buf[4096];
      size_t n;
      while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        content.append(buf, n);
      std::fclose(f);
    }
    if (content.find(text) == std::string::npos) {
      Fail(s, std::string("TARVOS.ini does not hold the ATC text ") + text);
    }
  }

  // A relocation a little north of where the aircraft is, and a heading.
  s.relocation_epoch.fetch_add(1);  // odd: position reads not checked
  // A quarter turn from where the aircraft points: a heading write equal to
  // the heading the plugin published changes nothing, as it should, and
  // the flight may well be flying due east after the last round.
  const double heading =
      std::fmod(host.GetFloat("sim/flightmodel/position/psi") + 90.0, 360.0);
  const long quaternion_sets_before = s.quaternion_sets.load();
  // The write reaches the simulator from a transport thread: one that lands
  // while the flight is between taking up outside writes and publishing its
  // own position is overwritten, as it would be in the simulator. Under a
  // sanitizer, with every client busy, that window can be a good part of
  // the frame, so a relocation is tried several times; one that is never
  // followed fails.
  constexpr int kRelocationTries = 10;
  bool ok = true;
  bool followed = false;
  double lat = 0;
  double got = 0;
  for (int attempt = 0; attempt < kRelocationTries && ok && !followed;
       ++attempt) {
    lat = host.GetDouble(kLatitudeDataref) + 0.01;
    // Until the next refresh a read returns the bytes written.
    s.latitudes.Publish(EncodeLatitude(lat));
    b.Clear();
    b.AddWriteU64(kLatitude, static_cast<uint64_t>(EncodeLatitude(lat)));
    b.AddWriteU32(kHeading,
                  static_cast<uint32_t>(heading / 360.0 * 4294967296.0));
    ok = Exchange(c, b);
    Sleep(300);
    WaitFrames(3);
    if (!ok) break;
    b.Clear();
    const size_t at = b.AddRead(kLatitude, 8);
    ok = Exchange(c, b);
    if (!ok) break;
    got = Degrees(kLatitude, b.Data(at));
    // The aircraft flies on meanwhile: a few hundred metres at most.
    followed = std::fabs(got - lat) <= 0.01;
  }
  if (ok) {
    if (!followed) {
      Fail(s, "a relocation write was not followed (latitude " +
                  std::to_string(got) + ", wrote " + std::to_string(lat) +
                  ", " + std::to_string(kRelocationTries) + " tries)");
    }
    // The flight turns back to its track at once; what the plugin must
    // do is hand the new attitude to the simulator.
    if (s.quaternion_sets.load() == quaternion_sets_before) {
      Fail(s, "a heading write made no set of the attitude quaternion");
    }
  }
  // Reads already under way see the old or the written position; let them
  // finish before position reads are checked again.
  Sleep(200);
  WaitFrames(2);
  s.relocation_epoch.fetch_add(1);
  return ok;
}

void CheckPosition(Shared& s, const PublishedValues& published,
                   const char* what, const uint8_t* bytes) {
  const int64_t v = static_cast<int64_t>(LoadU64(bytes));
  const PublishedValues::Verdict verdict = published.Classify(v);
  if (verdict == PublishedValues::Verdict::kPublished) return;
  char line[160];
  std::snprintf(line, sizeof line, "%s read 0x%016llx: %s", what,
                static_cast<unsigned long long>(v), VerdictName(verdict));
  Fail(s, line);
}

// A subscribing client's subscriptions: 1 the position every frame, 2 the
// protocol word on change only. False when the connection failed.
bool SubscribePosition(client::Session& session) {
  std::string error;
  return session.Subscribe(1, {{kLatitude, 8}, {kLongitude, 8}, {kHeading, 4}},
                           {}, &error) &&
         session.Subscribe(2, {{kProtocolOffset, 4}},
                           {.every_ms = 0, .changes_only = true}, &error);
}

// Checks every update that has arrived. False when the connection failed.
bool TakeUpdates(Shared& s, client::Session& session, UpdateOrder order[2],
                 int* constant_updates) {
  client::Update u;
  std::string error;
  while (session.NextUpdate(&u, 0, &error)) {
    s.updates.fetch_add(1);
    if (u.id != 1 && u.id != 2) {
      Fail(s, "an update of subscription " + std::to_string(u.id));
      continue;
    }
    const std::string wrong = order[u.id - 1].Next(u.seq, u.frame);
    if (!wrong.empty()) Fail(s, "update of " + std::to_string(u.id) + wrong);
    if (u.id == 2) {
      if (++*constant_updates != 1 || u.records.size() != 1 ||
          !ProtocolAnswerOk(u.records[0].bytes.data())) {
        char line[160];
        std::snprintf(line, sizeof line,
                      "changes-only update %d of the constant 0x3304 (seq "
                      "%u, %zu records)",
                      *constant_updates, u.seq, u.records.size());
        Fail(s, line);
      }
      continue;
    }
    const uint64_t epoch = s.relocation_epoch.load();
    if (u.records.size() != 3 || epoch % 2 != 0) continue;
    const int64_t lat =
        static_cast<int64_t>(LoadU64(u.records[0].bytes.data()));
    const int64_t lon =
        static_cast<int64_t>(LoadU64(u.records[1].bytes.data()));
    if (s.relocation_epoch.load() != epoch) continue;
    s.position_updates_checked.fetch_add(1);
    if (!s.positions.Contains(lat, lon)) {
      char line[160];
      std::snprintf(line, sizeof line,
                    "update of frame %u: latitude 0x%016llx and longitude "
                    "0x%016llx were not published in one frame",
                    u.frame, static_cast<unsigned long long>(lat),
                    static_cast<unsigned long long>(lon));
      Fail(s, line);
    }
  }
  return error.empty();
}

void ClientMain(Shared& s, int index) {
  std::mt19937_64 rng(0x50A1 + static_cast<uint64_t>(index));
  ClientStats& stats = s.stats[index];
  std::unordered_map<uint32_t, std::vector<uint8_t>> seen;
  std::unordered_map<uint32_t, size_t> writable;
  for (size_t i = 0; i < s.map.writes.size(); ++i) {
    writable[s.map.writes[i].offset] = i;
  }
  size_t cursor = (s.map.reads.size() / kClients) * index;
  auto next_deliberate = Clock::now() + kDeliberateEvery;
  auto last_served = Clock::now();

  while (!s.stop.load()) {
    std::unique_ptr<client::Connection> c = Connect(s, index);
    client::Session* session = nullptr;
    UpdateOrder order[2];
    int constant_updates = 0;
    if (c && index >= kFirstSubscriber && index < kTcpClients) {
      session = static_cast<client::Session*>(c.get());
      if (!SubscribePosition(*session)) {
        stats.reconnects.fetch_add(1);
        continue;
      }
    }
    if (!c) {
      const auto since_enable =
          std::chrono::nanoseconds(NowNs() - s.enabled_at_ns.load());
      if (Clock::now() - last_served > kStarved && since_enable > kStarved) {
        Fail(s, "client " + std::to_string(index) +
                    " could not connect for 10 s while the plugin ran");
        last_served = Clock::now();
      }
      Sleep(20);
      continue;
    }
    while (!s.stop.load()) {
      if (index == 0 && Clock::now() >= next_deliberate) {
        s.deliberate_active.store(true);
        const bool done = DeliberateRound(s, *c);
        s.deliberate_active.store(false);
        next_deliberate = Clock::now() + kDeliberateEvery;
        if (!done) {
          s.deliberate_abandoned.fetch_add(1);
          // Whatever the round left behind must not stop the flight.
          simhost::Host::Get().SetInt("sim/time/paused", 0);
          simhost::Host::Get().SetInt("sim/time/sim_speed", 1);
          break;
        }
        s.deliberate_rounds.fetch_add(1);
      }
      client::RequestBatch b;
      const size_t lat = b.AddRead(kLatitude, 8);
      const size_t lon = b.AddRead(kLongitude, 8);
      const size_t protocol = b.AddRead(kProtocolOffset, 4);
      std::vector<std::pair<size_t, uint32_t>> read_items;
      size_t bytes = 0;
      while (bytes < kReadBytesPerBatch) {
        const Item& it = s.map.reads[cursor];
        cursor = (cursor + 1) % s.map.reads.size();
        read_items.emplace_back(b.AddRead(it.offset, it.size), it.offset);
        bytes += client::kReadHeader + it.size;
      }
      const int writes = 1 + static_cast<int>(rng() % 3);
      for (int w = 0; w < writes; ++w) {
        const Item& it = s.map.writes[rng() % s.map.writes.size()];
        b.AddWrite(it.offset, RandomValue(rng, it, seen));
      }
      const uint64_t epoch = s.relocation_epoch.load();
      std::string error;
      if (!c->Exchange(b, &error)) {
        stats.reconnects.fetch_add(1);
        break;
      }
      stats.batches.fetch_add(1);
      last_served = Clock::now();
      if (session != nullptr &&
          !TakeUpdates(s, *session, order, &constant_updates)) {
        stats.reconnects.fetch_add(1);
        break;
      }

      s.protocol_reads.fetch_add(1);
      if (!ProtocolAnswerOk(b.Data(protocol))) {
        const uint8_t* p = b.Data(protocol);
        char line[96];
        std::snprintf(line, sizeof line,
                      "0x3304 read %02x %02x %02x %02x, not 04 00 00 50", p[0],
                      p[1], p[2], p[3]);
        Fail(s, line);
      }
      if (epoch % 2 == 0 && s.relocation_epoch.load() == epoch) {
        s.position_reads.fetch_add(1);
        CheckPosition(s, s.latitudes, "latitude", b.Data(lat));
        CheckPosition(s, s.longitudes, "longitude", b.Data(lon));
      } else {
        s.position_reads_skipped.fetch_add(1);
      }
      for (const auto& [i, offset] : read_items) {
        if (writable.count(offset) != 0) {
          seen[offset].assign(b.Data(i), b.Data(i) + b.Size(i));
        }
      }
      if (s.options.pace_ms > 0) Sleep(s.options.pace_ms);
    }
  }
}

bool ParseOptions(int argc, char** argv, Options* o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--seconds" && i + 1 < argc) {
      o->seconds = std::atof(argv[++i]);
    } else if (a == "--pace-ms" && i + 1 < argc) {
      o->pace_ms = std::atoi(argv[++i]);
    } else if (a == "--frame-bound" && i + 1 < argc) {
      o->frame_bound = std::atof(argv[++i]);
    } else {
      std::fprintf(
          stderr,
          "usage: %s [--seconds N] [--frame-bound SHARE] [--pace-ms MS]\n"
          "  --seconds N          how long to fly (default 60)\n"
          "  --frame-bound SHARE  most of the longest frame the plugin "
          "may take (default 0.5)\n"
          "  --pace-ms MS         each client's pause between batches "
          "(default 1; 0: none)\n",
          argv[0]);
      return false;
    }
  }
  return o->seconds > 0 && o->frame_bound > 0;
}

int Run(const Options& options) {
  simhost::Host& host = simhost::Host::Get();
  host.Reset();
  auto shared = std::make_unique<Shared>();
  Shared& s = *shared;
  s.options = options;
  s.map = BuildMap();
  s.endpoint = "tarvos-soak-" + std::to_string(::getpid());
  SetTcpServerPort(0);
  SetTcpServerLoopbackOnly(true);
  SetIpcEndpointName(s.endpoint);

  simhost::flight::FlightModel flight;
  simhost::flight::FlightModel::Options fo;
  fo.traffic = kTrafficSlots;
  flight.Install(fo);
  // The flight's frame, timed apart from the plugin's, and every position it
  // publishes remembered before the plugin's callbacks can see it.
  double flight_seconds = 0, flight_preempted = 0;
  auto publish = [&] {
    const int64_t lat = EncodeLatitude(host.GetDouble(kLatitudeDataref));
    const int64_t lon = EncodeLongitude(host.GetDouble(kLongitudeDataref));
    s.latitudes.Publish(lat);
    s.longitudes.Publish(lon);
    s.positions.Publish(lat, lon);
  };
  // No zero among them: the servers start only once every offset has been
  // refreshed, so a read of the untouched block fails the check.
  publish();
  host.SetFrameHook([&](double now, float dt) {
    const auto t0 = Clock::now();
    const double q0 = RunQueueSeconds();
    flight.Step(now, dt);
    publish();
    flight_seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    flight_preempted = PreemptedSince(q0);
  });

  // A thread started and joined first, so that a sanitizer's own helper
  // thread (started with the first thread) is in the starting count.
  std::thread([] {}).join();
  const Census before = Census::Take();
  host.AttachPlugin(testing::LinkedPluginEntryPoints());
  host.StartPlugin();
  host.EnablePlugin();
  host.SendMessageToPlugin(XPLM_PLUGIN_XPLANE, XPLM_MSG_PLANE_LOADED, nullptr);
  s.enabled_at_ns.store(NowNs());

  std::vector<std::thread> clients;
  for (int i = 0; i < kClients; ++i) {
    clients.emplace_back(ClientMain, std::ref(s), i);
  }

  // Frames right after an Enable run the plugin's deferred start; they are
  // counted apart (and under the same bound).
  FrameShare share, after_enable;
  std::mt19937_64 rng(20);
  const auto period = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(1.0 / kFps));
  const auto start = Clock::now();
  const auto end = start + std::chrono::duration_cast<Clock::duration>(
                               std::chrono::duration<double>(options.seconds));
  auto next = start + period;
  auto last = start;
  auto next_traffic = start + kTrafficChangeEvery;
  auto next_cycle = start + kCycleEvery;
  bool first_after_enable = true;
  bool previous_first = false;
  bool have_previous = false;  // a frame whose length is still open
  double previous_plugin = 0, previous_preempted = 0;
  long cycles = 0, traffic_changes = 0;
  while (Clock::now() < end) {
    std::this_thread::sleep_until(next);
    const auto t0 = Clock::now();
    if (have_previous) {
      (previous_first ? after_enable : share)
          .Add(std::chrono::duration<double>(t0 - last).count(),
               previous_plugin, previous_preempted);
    }
    const double q0 = RunQueueSeconds();
    host.StepFrame(std::chrono::duration<float>(t0 - last).count());
    const auto t1 = Clock::now();
    last = t0;
    previous_preempted = std::max(0.0, PreemptedSince(q0) - flight_preempted);
    previous_plugin =
        std::max(0.0, std::chrono::duration<double>(t1 - t0).count() -
                          flight_seconds - previous_preempted);
    previous_first = first_after_enable;
    have_previous = true;
    first_after_enable = false;
    if (s.port.load() == 0) s.port.store(TcpServerBoundPort());
    // The host keeps a record of every set call, command and key; it is
    // drained every frame so that memory stays flat, and host errors (host
    // API misuse, such as a window call off the main thread) fail the run.
    for (const simhost::SetRecord& r : host.TakeSetRecords()) {
      if (r.name == "sim/flightmodel/position/q")
        s.quaternion_sets.fetch_add(1);
    }
    host.TakeCommands();
    host.TakeInputs();
    for (const std::string& e : host.TakeHostErrors()) {
      s.host_errors.fetch_add(1);
      Fail(s, "host error: " + e);
    }

    if (t1 >= next_traffic) {
      flight.traffic().SetCount(static_cast<int>(rng() % (kTrafficSlots + 1)));
      ++traffic_changes;
      next_traffic = t1 + kTrafficChangeEvery;
    }
    if (t1 >= next_cycle && !s.deliberate_active.load()) {
      s.port.store(0);
      host.DisablePlugin();
      const Census disabled = Census::Take();
      if (disabled.threads != before.threads + kClients) {
        Fail(s, "after Disable " + std::to_string(disabled.threads) +
                    " threads, expected " +
                    std::to_string(before.threads + kClients) +
                    " (the soak's own and its clients)");
      }
      host.EnablePlugin();
      s.enabled_at_ns.store(NowNs());
      // The cycle is not a frame: the frame before it ends here.
      have_previous = false;
      last = Clock::now();
      first_after_enable = true;
      ++cycles;
      next_cycle = Clock::now() + kCycleEvery;
    }
    next += period;
    if (Clock::now() - next > 5 * period) next = Clock::now() + period;
  }
  const double seconds =
      std::chrono::duration<double>(Clock::now() - start).count();

  s.stop.store(true);
  for (std::thread& t : clients) t.join();
  host.DisablePlugin();
  host.StopPlugin();
  flight.Uninstall();
  const Census after = Census::Take();
  if (after.descriptors != before.descriptors) {
    Fail(s, "descriptors: " + std::to_string(before.descriptors) + " before, " +
                std::to_string(after.descriptors) + " after");
  }
  if (after.threads != before.threads) {
    Fail(s, "threads: " + std::to_string(before.threads) + " before, " +
                std::to_string(after.threads) + " after");
  }
  for (const FrameShare* f : {&share, &after_enable}) {
    if (f->Within(options.frame_bound)) continue;
    char line[160];
    std::snprintf(line, sizeof line,
                  "the plugin took %.1f%% of the longest frame (%.2f of %.2f "
                  "ms), over the bound %.0f%%",
                  100 * f->share_of_longest(), 1000 * f->plugin_in_longest(),
                  1000 * f->longest_frame(), 100 * options.frame_bound);
    Fail(s, line);
  }
  if (s.deliberate_rounds.load() == 0) {
    Fail(s, "no deliberate round of pause, rate, ATC and position writes");
  }

  std::printf(
      "soak: %.1f s, %ld frames, %ld Disable/Enable cycles, %ld "
      "traffic count changes (0 to %d)\n",
      seconds, share.frames() + after_enable.frames() + 1, cycles,
      traffic_changes, kTrafficSlots);
  std::printf(
      "catalogue: %zu items read, %zu writable items written at "
      "random\n",
      s.map.reads.size(), s.map.writes.size());
  long total = 0;
  for (int i = 0; i < kClients; ++i) {
    const long n = s.stats[i].batches.load();
    total += n;
    std::printf(
        "client %d (%s): %ld batches, %.1f per second, %ld "
        "reconnects\n",
        i, i < kTcpClients ? "tcp" : "local", n, n / seconds,
        s.stats[i].reconnects.load());
  }
  std::printf("all clients: %.1f batches per second\n", total / seconds);
  std::printf(
      "position reads checked: %ld (%ld skipped around "
      "relocations), published values: %zu latitudes, %zu "
      "longitudes\n",
      s.position_reads.load(), s.position_reads_skipped.load(),
      s.latitudes.size(), s.longitudes.size());
  std::printf("0x3304 reads: %ld; host errors: %ld\n", s.protocol_reads.load(),
              s.host_errors.load());
  std::printf(
      "pushed updates: %ld to %d subscribing clients (%.1f per second), "
      "%ld position updates checked\n",
      s.updates.load(), kTcpClients - kFirstSubscriber,
      s.updates.load() / seconds, s.position_updates_checked.load());
  std::printf("deliberate rounds: %ld done, %ld cut short by a Disable\n",
              s.deliberate_rounds.load(), s.deliberate_abandoned.load());
  for (const auto& [name, f] :
       {std::pair{"frames", &share},
        std::pair{"first frames after Enable", &after_enable}}) {
    std::printf(
        "%s: the plugin's share of the longest frame %.1f%% (%.2f of "
        "%.2f ms, %.2f ms more preempted), bound %.0f%%; its longest time "
        "in a frame %.2f ms (%.1f%% of a 1/60 s frame)\n",
        name, 100 * f->share_of_longest(), 1000 * f->plugin_in_longest(),
        1000 * f->longest_frame(), 1000 * f->preempted_in_longest(),
        100 * options.frame_bound, 1000 * f->worst_plugin(),
        100 * f->worst_plugin() * kFps);
  }
  std::printf("before: %s; after: %s\n", before.Text().c_str(),
              after.Text().c_str());
  const int failures = s.failures.load();
  std::printf("soak: %s (%d failed checks)\n", failures == 0 ? "PASS" : "FAIL",
              failures);
  return failures == 0 ? 0 : 1;
}

}  // namespace
}  // namespace tarvos::soak

int main(int argc, char** argv) {
  tarvos::soak::Options options;
  if (!tarvos::soak::ParseOptions(argc, argv, &options)) return 2;
  return tarvos::soak::Run(options);
}
