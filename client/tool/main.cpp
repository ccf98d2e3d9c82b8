// tarvos-client: reads, writes and watches offsets of a running plugin.
//
//   tarvos-client read position.latitude attitude.heading 0x3304:u32
//   tarvos-client write autopilot.heading=270 0x0BC0:s16=1000
//   tarvos-client watch --interval 250 position.latitude 0x02BC:u32
//   tarvos-client watch                 (the preset: position, speeds, ...)
//   tarvos-client subscribe --every 100 --changes attitude.heading
//   tarvos-client describe engine       (the catalogue; --json, --markdown)
//
// Exit codes: 0 done, 1 the server could not be reached or refused the
// batch, 2 bad command line (an unknown name, a value that does not fit).
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>
#include <thread>
#include <vector>

#include "client/batch.h"
#include "client/connection.h"
#include "client/field.h"
#include "client/named_field.h"
#include "client/session.h"
#include "client/traffic_view.h"
#include "client/watch.h"
#include "client/watch_preset.h"
#include "tarvos_version.h"

namespace {

using tarvos::client::Connection;
using tarvos::client::Field;
using tarvos::client::RequestBatch;
using tarvos::client::WatchField;

constexpr int kExitOk = 0;
constexpr int kExitServer = 1;
constexpr int kExitUsage = 2;

// What --help shows after the options.
const char kFooter[] =
    "FIELD is a name from the offset catalogue, e.g. position.latitude\n"
    "(values in its unit), or OFFSET:TYPE, e.g. 0x0560:s64; TYPE is u8 u16\n"
    "u32 u64 s8 s16 s32 s64 f32 f64 bcd text<N> hex<N>. watch without\n"
    "fields shows the preset (position, speeds, autopilot, engine 1,\n"
    "clock); --raw shows the bytes in hexadecimal instead of decoded\n"
    "values; --traffic shows the AI traffic instead, nearest first (the\n"
    "distance in nautical miles, the bearing in degrees true). Over TCP\n"
    "watch has the server push the values every MS milliseconds where it\n"
    "can, and polls otherwise (always with --poll); it shows the rate.\n"
    "subscribe prints one line per update the server pushes: every frame\n"
    "or every MS milliseconds, with --changes only the names that changed.\n"
    "describe lists the catalogue rows whose names contain PATTERN\n"
    "(or match it, with * wildcards).\n"
    "\n"
    "Exit codes: 0 done, 1 the server could not be reached or refused the\n"
    "batch, 2 bad command line (an unknown name, a value that does not "
    "fit).";

struct Options {
  std::string host = "127.0.0.1";
  uint16_t port = tarvos::client::kDefaultPort;
  bool local = false;
  std::string endpoint = tarvos::client::kDefaultLocalEndpoint;
  int timeout_ms = tarvos::client::kDefaultTimeoutMs;
  int interval_ms = 500;
  long count = -1;        // watch polls; -1 = until interrupted
  bool raw = false;       // read, watch: hex bytes instead of decoded values
  bool traffic = false;   // watch: the traffic view
  bool json = false;      // describe
  bool markdown = false;  // describe
  bool poll = false;      // watch: never ask for pushed updates
  bool changes = false;   // subscribe: changed values only
  uint16_t every_ms = 0;  // subscribe: 0 = every frame
  std::string command;
  std::vector<std::string> args;
};

// A field or value the user gave that cannot be used: the message alone.
int ArgumentError(const std::string& message) {
  std::fprintf(stderr, "tarvos-client: %s\n", message.c_str());
  return kExitUsage;
}

int UsageError(const std::string& message) {
  std::fprintf(stderr,
               "tarvos-client: %s\nRun with --help for more information.\n",
               message.c_str());
  return kExitUsage;
}

// The command line into `o`: an exit code when the program is done with it
// (--help, --version, a usage error), -1 when it should run.
int ParseOptions(int argc, char** argv, Options* o) {
  CLI::App app(
      "tarvos-client: reads, writes and watches offsets of a "
      "running plugin",
      "tarvos-client");
  app.set_version_flag("--version", "tarvos-client " TARVOS_VERSION);
  app.footer(kFooter);
  app.require_subcommand(1);
  app.add_option("--host", o->host, "server host")->capture_default_str();
  app.add_option("--port", o->port, "server port")
      ->check(CLI::Range(1, 65535))
      ->capture_default_str();
  app.add_flag("--local", o->local, "use the local endpoint instead of TCP");
  app.add_option("--endpoint", o->endpoint, "local endpoint name")
      ->capture_default_str();
  app.add_option("--timeout", o->timeout_ms,
                 "give up waiting after MS milliseconds")
      ->check(CLI::Range(1, 3600000))
      ->capture_default_str();

  auto command = [&](const char* name, const char* what) {
    CLI::App* c = app.add_subcommand(name, what);
    c->fallthrough();
    c->callback([o, name] { o->command = name; });
    return c;
  };
  auto fields = [&](CLI::App* c, const char* what) {
    return c->add_option("FIELD", o->args, what);
  };
  auto count = [&](CLI::App* c) {
    c->add_option("--count", o->count, "stop after N updates")
        ->check(CLI::Range(1L, 1000000000L));
  };
  CLI::App* read = command("read", "reads fields once");
  fields(read, "the fields to read")->required();
  read->add_flag("--raw", o->raw, "the bytes in hexadecimal");

  CLI::App* write = command("write", "writes values");
  fields(write, "FIELD=VALUE, the writes to make")->required();

  CLI::App* watch = command("watch", "shows fields as they change");
  fields(watch, "the fields to show (default: the preset)");
  watch->add_option("--interval", o->interval_ms, "MS between updates")
      ->check(CLI::Range(10, 3600000))
      ->capture_default_str();
  count(watch);
  watch->add_flag("--raw", o->raw, "the bytes in hexadecimal");
  watch->add_flag("--poll", o->poll, "poll, never ask for pushed updates");
  watch->add_flag("--traffic", o->traffic, "the AI traffic, nearest first")
      ->excludes("--raw")
      ->excludes("FIELD");

  CLI::App* subscribe = command("subscribe", "prints every pushed update");
  fields(subscribe, "the catalogue names to subscribe to")->required();
  std::string every = "frame";
  subscribe
      ->add_option("--every", every, "frame, or MS (1 to 65535) milliseconds")
      ->check([](const std::string& s) -> std::string {
        char* end = nullptr;
        const long v = std::strtol(s.c_str(), &end, 10);
        if (s == "frame" ||
            (!s.empty() && *end == '\0' && v >= 1 && v <= 65535)) {
          return "";
        }
        return "bad --every '" + s + "' (frame, or 1 to 65535 ms)";
      })
      ->capture_default_str();
  subscribe->add_flag("--changes", o->changes, "only the values that changed");
  count(subscribe);

  CLI::App* describe = command("describe", "lists the offset catalogue");
  describe->add_option("PATTERN", o->args, "name text or * pattern")
      ->expected(0, 1);
  describe->add_flag("--json", o->json, "as JSON");
  describe->add_flag("--markdown", o->markdown, "as the Markdown reference")
      ->excludes("--json");

  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {
    return app.exit(e);  // --help, --version
  } catch (const CLI::ParseError& e) {
    return UsageError(e.what());
  }
  if (every != "frame") o->every_ms = static_cast<uint16_t>(std::stol(every));
  if (o->command == "subscribe" && o->local) {
    return UsageError("subscribe needs TCP (the local endpoint does not push)");
  }
  return -1;
}

std::unique_ptr<Connection> Connect(const Options& o) {
  std::string error;
  std::unique_ptr<Connection> c =
      o.local
          ? tarvos::client::ConnectLocal(o.endpoint, &error, o.timeout_ms)
          : tarvos::client::ConnectTcp(o.host, o.port, &error, o.timeout_ms);
  if (!c) std::fprintf(stderr, "tarvos-client: %s\n", error.c_str());
  return c;
}

bool Exchange(Connection& c, RequestBatch& batch) {
  std::string error;
  if (c.Exchange(batch, &error)) return true;
  std::fprintf(stderr, "tarvos-client: %s\n", error.c_str());
  return false;
}

// "NAME=VALUE" through the catalogue, or "OFFSET:TYPE=VALUE".
std::string ParseWrite(const std::string& arg, RequestBatch* batch) {
  size_t eq = arg.find('=');
  std::vector<uint8_t> bytes;
  if (arg.find(':') != std::string::npos || eq == std::string::npos) {
    Field field;
    std::string error = tarvos::client::ParseAssignment(arg, &field, &bytes);
    if (error.empty()) batch->AddWrite(field.offset, bytes);
    return error;
  }
  tarvos::CatalogueItem item;
  std::string error = tarvos::client::ResolveName(arg.substr(0, eq), &item);
  if (error.empty()) {
    const std::string refusal = tarvos::client::WriteRefusal(item);
    if (!refusal.empty()) {
      return refusal + " (write OFFSET:TYPE=VALUE to store bytes anyway)";
    }
  }
  if (error.empty()) {
    error = tarvos::client::EncodeItemValue(item, arg.substr(eq + 1), &bytes);
  }
  if (error.empty()) batch->AddWrite(item.offset, bytes);
  return error;
}

int Describe(const Options& o) {
  const std::string pattern = o.args.empty() ? "" : o.args[0];
  if (o.json) {
    std::fputs(tarvos::client::DescribeJson().c_str(), stdout);
  } else if (o.markdown) {
    std::fputs(tarvos::client::DescribeMarkdown().c_str(), stdout);
  } else {
    std::string table = tarvos::client::DescribeTable(pattern);
    if (table.empty()) {
      std::fprintf(stderr, "tarvos-client: no field matches '%s'\n",
                   pattern.c_str());
      return kExitUsage;
    }
    std::fputs(table.c_str(), stdout);
  }
  return kExitOk;
}

int Fail(const std::string& error) {
  std::fprintf(stderr, "tarvos-client: %s\n", error.c_str());
  return kExitServer;
}

// One line per pushed update: its numbers, then every name it carried.
int Subscribe(const Options& o) {
  std::string error;
  tarvos::client::NamedSubscription named(o.args, &error);
  if (!error.empty()) return ArgumentError(error);
  auto session =
      tarvos::client::ConnectSession(o.host, o.port, &error, o.timeout_ms);
  if (!session) return Fail(error);
  if (!named.Subscribe(*session, 1, {o.every_ms, o.changes}, &error)) {
    return Fail(error);
  }
  for (long n = 0; o.count < 0 || n < o.count;) {
    tarvos::client::Update u;
    if (!session->NextUpdate(&u, o.timeout_ms, &error)) {
      if (error.empty()) continue;  // a paused simulator: keep waiting
      return Fail(error);
    }
    std::string line =
        "seq " + std::to_string(u.seq) + "  frame " + std::to_string(u.frame);
    char time[32];
    std::snprintf(time, sizeof time, "  time %.3f", u.time);
    line += time;
    for (size_t i : named.Apply(u)) {
      line += "  " + named.Name(i) + " " + named.Text(i);
    }
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    ++n;
  }
  return kExitOk;
}

// Updates or polls in the last second, for the rate a watch shows.
class RateMeter {
 public:
  void Tick() {
    const auto now = std::chrono::steady_clock::now();
    times_.push_back(now);
    while (now - times_.front() > std::chrono::seconds(1)) times_.pop_front();
  }
  size_t PerSecond() const { return times_.size(); }

 private:
  std::deque<std::chrono::steady_clock::time_point> times_;
};

// Subscribes the batch's reads; false (with kNoPushMessage from an older
// server) when it cannot.
bool SubscribeBatch(tarvos::client::Session& s, const RequestBatch& batch,
                    uint16_t every_ms, std::string* error) {
  std::vector<tarvos::client::Range> ranges;
  for (size_t i = 0; i < batch.ReadCount(); ++i) {
    ranges.push_back({batch.Offset(i), batch.Size(i)});
  }
  std::vector<uint32_t> ids;
  return tarvos::client::SubscribeRanges(s, 1, ranges, {every_ms}, &ids, error);
}

// Puts an update's records into the reads of the same ranges.
void ApplyUpdate(const tarvos::client::Update& u, RequestBatch& batch) {
  for (const tarvos::client::UpdateRecord& r : u.records) {
    for (size_t i = 0; i < batch.ReadCount(); ++i) {
      if (batch.Offset(i) == r.offset && batch.Size(i) == r.bytes.size()) {
        batch.SetData(i, r.bytes.data());
      }
    }
  }
}

int Run(const Options& o) {
  if (o.command == "describe") return Describe(o);
  if (o.command == "subscribe") return Subscribe(o);
  std::vector<WatchField> fields;
  RequestBatch batch;
  for (const std::string& arg : o.args) {
    WatchField f;
    std::string error;
    if (o.command == "write") {
      error = ParseWrite(arg, &batch);
    } else {
      error = tarvos::client::ParseWatchField(arg, &f);
      // Raw: the same bytes, shown as they are.
      f.raw = o.raw;
    }
    if (!error.empty()) return ArgumentError(error);
    fields.push_back(f);
  }
  const bool preset = o.command == "watch" && fields.empty() && !o.traffic;
  size_t traffic_reads = 0;
  if (o.traffic) {
    traffic_reads = tarvos::client::AddTrafficReads(batch);
  } else if (preset) {
    tarvos::client::AddPresetReads(batch);
  } else if (o.command != "write") {
    tarvos::client::AddWatchReads(fields, batch);
  }
  if (batch.RecordAreaSize() > tarvos::client::kMaxRecordArea) {
    return UsageError("too many or too large fields for one batch");
  }

  std::unique_ptr<tarvos::client::Session> session;
  std::unique_ptr<Connection> c;
  if (o.local) {
    c = Connect(o);
  } else {
    std::string error;
    session =
        tarvos::client::ConnectSession(o.host, o.port, &error, o.timeout_ms);
    if (!session) std::fprintf(stderr, "tarvos-client: %s\n", error.c_str());
  }
  Connection* connection = session ? session.get() : c.get();
  if (connection == nullptr) return kExitServer;
  if (o.command == "write") {
    return Exchange(*connection, batch) ? kExitOk : kExitServer;
  }
  if (o.command == "read") {
    if (!Exchange(*connection, batch)) return kExitServer;
    std::fputs(tarvos::client::RenderWatch(fields, batch).c_str(), stdout);
    return kExitOk;
  }
  // watch: pushed updates where the server has them, else polls; redrawn
  // in place on a terminal; elsewhere (a pipe, a file) one block per
  // update or poll, separated by a blank line, with no escapes.
  bool pushed = false;
  if (session && !o.poll) {
    std::string error;
    const uint16_t every = static_cast<uint16_t>(
        std::min(o.interval_ms, static_cast<int>(UINT16_MAX)));
    pushed = SubscribeBatch(*session, batch, every, &error);
    if (!pushed && error != tarvos::client::kNoPushMessage) return Fail(error);
  }
  const bool terminal = isatty(STDOUT_FILENO) == 1;
  RateMeter rate;
  for (long n = 0; o.count < 0 || n < o.count; ++n) {
    if (pushed) {
      tarvos::client::Update u;
      std::string error;
      if (!session->NextUpdate(&u, o.timeout_ms, &error)) {
        if (!error.empty()) return Fail(error);
        --n;  // a paused simulator: keep waiting
        continue;
      }
      ApplyUpdate(u, batch);
    } else {
      if (n > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(o.interval_ms));
      }
      if (!Exchange(*connection, batch)) return kExitServer;
    }
    rate.Tick();
    std::string screen = terminal ? "\x1b[H\x1b[2J" : (n > 0 ? "\n" : "");
    if (o.traffic) {
      screen += tarvos::client::RenderTraffic(
          tarvos::client::DecodeTraffic(batch, traffic_reads));
    } else {
      screen += preset ? tarvos::client::RenderPreset(batch, o.raw)
                       : tarvos::client::RenderWatch(fields, batch);
    }
    // The rate on a terminal only: piped blocks stay as scripts read them.
    if (terminal) {
      screen += (pushed ? "\npushed updates: " : "\npolls: ") +
                std::to_string(rate.PerSecond()) + "/s\n";
    }
    std::fputs(screen.c_str(), stdout);
    std::fflush(stdout);
  }
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  const int done = ParseOptions(argc, argv, &options);
  if (done >= 0) return done;
  return Run(options);
}
