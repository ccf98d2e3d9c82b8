#include "simhost/control/control_commands.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "XPLMDataAccess.h"
#include "XPLMDefs.h"
#include "XPLMPlugin.h"
#include "simhost/control/fault_commands.h"
#include "simhost/control/lifecycle_commands.h"
#include "simhost/control/ui_commands.h"
#include "simhost/flight/flight_model.h"

namespace simhost {
namespace {

constexpr char kX737Signature[] = "bs.x737.plugin";
constexpr char kXPushbackSignature[] = "GoodWay.XPushBack";
constexpr char kHelp[] =
    "ok commands: help, get NAME, set NAME VALUE, step N, run, pause, "
    "plugin x737|xpushback on|off, plugin tarvos enable|disable, "
    "fault ... (fault help), aircraft COUNT, message ID [PARAM], "
    "crash, flight on|off, commands, buttons, keys, status, weather, windows, "
    "menu, menu choose ITEM, widgets, widget press|check|type|close ..., "
    "snapshot FILE.svg, failures, quit";

std::string Error(const std::string& text) { return "error " + text; }

std::vector<std::string> Split(std::string_view line) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) words.emplace_back(line.substr(start, i - start));
  }
  return words;
}

// The text after the first `n` words, without the blanks before it (the
// value of `set` for byte datarefs, which may hold blanks).
std::string_view AfterWords(std::string_view line, int n) {
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  size_t i = 0;
  for (int w = 0; w < n; ++w) {
    while (i < line.size() && blank(line[i])) ++i;
    while (i < line.size() && !blank(line[i])) ++i;
  }
  while (i < line.size() && blank(line[i])) ++i;
  return line.substr(i);
}

bool ParseInt(const std::string& text, long long lo, long long hi,
              long long* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  long long v = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || end != text.c_str() + text.size() || v < lo || v > hi) {
    return false;
  }
  *out = v;
  return true;
}

bool ParseReal(const std::string& text, double* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  double v = std::strtod(text.c_str(), &end);
  if (errno != 0 || end != text.c_str() + text.size() || !std::isfinite(v)) {
    return false;
  }
  *out = v;
  return true;
}

// Shortest text that reads back as the same value.
template <typename T>
std::string Number(T value) {
  char buf[64];
  auto result = std::to_chars(buf, buf + sizeof(buf), value);
  return std::string(buf, result.ptr);
}

// Printable text of a byte array: trailing zeros dropped, other bytes
// outside printable ASCII as \xNN.
std::string PrintableBytes(const std::string& bytes) {
  size_t end = bytes.size();
  while (end > 0 && bytes[end - 1] == '\0') --end;
  std::string out;
  for (size_t i = 0; i < end; ++i) {
    unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char esc[8];
      std::snprintf(esc, sizeof(esc), "\\x%02X", c);
      out += esc;
    }
  }
  return out;
}

// A dataref named by the user: a whole dataref, or one element of an array.
struct Target {
  std::string name;
  int index = -1;  // element, or -1 for the whole dataref
  int types = 0;   // xplmType_* bits
  int size = 1;    // elements (arrays) or bytes
};

bool IsArray(int types) {
  return (types & (xplmType_FloatArray | xplmType_IntArray | xplmType_Data)) !=
         0;
}

bool Resolve(const std::string& wanted, Target* t, std::string* error) {
  Host& host = Host::Get();
  t->name = wanted;
  t->index = -1;
  if (!host.IsDefined(wanted)) {
    // "name[i]": element i of the array "name" (unless "name[i]" is a
    // dataref of its own, handled above).
    size_t open = wanted.rfind('[');
    long long index;
    if (open == std::string::npos || open == 0 || wanted.back() != ']' ||
        !ParseInt(wanted.substr(open + 1, wanted.size() - open - 2), 0,
                  INT32_MAX, &index) ||
        !host.IsDefined(wanted.substr(0, open))) {
      *error = "unknown dataref " + wanted;
      return false;
    }
    t->name = wanted.substr(0, open);
    t->index = static_cast<int>(index);
  }
  t->types = XPLMGetDataRefTypes(XPLMFindDataRef(t->name.c_str()));
  t->size = host.ArraySize(t->name);
  if (t->index >= 0) {
    if (!IsArray(t->types)) {
      *error = t->name + " is not an array";
      return false;
    }
    if (t->index >= t->size) {
      *error = "index " + std::to_string(t->index) + " is outside " + t->name +
               " (" + std::to_string(t->size) + " elements)";
      return false;
    }
  }
  return true;
}

}  // namespace

ControlExecutor::ControlExecutor(flight::FlightModel* flight, float frame_dt)
    : flight_(flight), frame_dt_(frame_dt > 0 ? frame_dt : 1.0f / 60.0f) {}

std::string ControlExecutor::Execute(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.size() > kMaxControlLineLength) {
    return Error("line too long (at most " +
                 std::to_string(kMaxControlLineLength) + " bytes)");
  }
  for (char c : line) {
    unsigned char u = static_cast<unsigned char>(c);
    if ((u < 0x20 && c != '\t') || u >= 0x7F) {
      return Error("line holds control or non-ASCII bytes");
    }
  }
  Args args = Split(line);
  if (args.empty() || args[0][0] == '#') return "";
  const std::string& word = args[0];
  if (word == "help") return kHelp;
  if (word == "get") return Get(args);
  if (word == "set") return Set(args, AfterWords(line, 2));
  if (word == "step") return Step(args);
  if (word == "run" || word == "pause") {
    if (args.size() != 1) return Error("usage: " + word);
    running_ = word == "run";
    return running_ ? "ok running" : "ok paused";
  }
  if (word == "plugin") return Plugin(args);
  if (word == "aircraft") return AircraftCount(args);
  if (word == "message") return Message(args);
  if (word == "crash") return Crash(args);
  if (word == "flight") return Flight(args);
  if (word == "commands") return Commands(args);
  if (word == "buttons") {
    return Inputs(args, InputKind::kButtonPress, InputKind::kButtonRelease);
  }
  if (word == "keys") {
    return Inputs(args, InputKind::kKeyStroke, InputKind::kKeyStroke);
  }
  if (word == "status") return Status(args);
  if (word == "weather") return Weather(args);
  if (word == "windows") return Windows(args);
  if (word == "quit") {
    if (args.size() != 1) return Error("usage: quit");
    quit_ = true;
    return "ok bye";
  }
  if (word == "fault") return ExecuteFaultCommand(args);
  if (std::string answer; ExecuteUserInterfaceCommand(args, line, &answer)) {
    return answer;
  }
  return Error("unknown command " + word + " (try help)");
}

std::string ControlExecutor::Get(const Args& args) {
  if (args.size() != 2) return Error("usage: get NAME");
  Target t;
  std::string error;
  if (!Resolve(args[1], &t, &error)) return Error(error);
  Host& host = Host::Get();
  // Widest first: a double dataref is readable as a float too.
  if (t.types & xplmType_Double) return "ok " + Number(host.GetDouble(t.name));
  if (t.types & xplmType_Float) return "ok " + Number(host.GetFloat(t.name));
  if (t.types & xplmType_Int) return "ok " + Number(host.GetInt(t.name));
  if (t.types & xplmType_Data) {
    std::string bytes = host.GetBytes(t.name);
    if (t.index >= 0) {
      if (bytes.size() < static_cast<size_t>(t.size)) bytes.resize(t.size);
      return "ok " + Number(static_cast<unsigned char>(bytes[t.index]));
    }
    return "ok " + PrintableBytes(bytes);
  }
  const bool floats = (t.types & xplmType_FloatArray) != 0;
  auto element = [&](int i) {
    return floats ? Number(host.GetFloatElement(t.name, i))
                  : Number(host.GetIntElement(t.name, i));
  };
  if (t.index >= 0) return "ok " + element(t.index);
  std::string out = "ok";
  for (int i = 0; i < t.size; ++i) out += " " + element(i);
  return out;
}

std::string ControlExecutor::Set(const Args& args, std::string_view rest) {
  if (args.size() < 3) return Error("usage: set NAME VALUE");
  Target t;
  std::string error;
  if (!Resolve(args[1], &t, &error)) return Error(error);
  Host& host = Host::Get();
  if ((t.types & xplmType_Data) && t.index < 0) {
    // Text into a byte array: zero-filled to its size, cut to fit.
    if (rest.size() > static_cast<size_t>(t.size)) {
      return Error("text is longer than " + t.name + " (" +
                   std::to_string(t.size) + " bytes)");
    }
    std::string bytes(rest);
    bytes.resize(t.size, '\0');
    host.SetBytes(t.name, bytes);
    return "ok";
  }
  if (args.size() != 3) return Error("usage: set NAME VALUE");
  if (IsArray(t.types) && t.index < 0) {
    return Error(t.name + " is an array: set " + t.name + "[i] VALUE");
  }
  const std::string& text = args[2];
  const bool integer =
      (t.types & (xplmType_Int | xplmType_IntArray | xplmType_Data)) != 0 &&
      !(t.types & (xplmType_Float | xplmType_Double));
  if (integer) {
    long long v;
    const long long lo = (t.types & xplmType_Data) ? 0 : INT32_MIN;
    const long long hi = (t.types & xplmType_Data) ? 255 : INT32_MAX;
    if (!ParseInt(text, lo, hi, &v)) {
      return Error("bad value " + text + " for " + t.name + " (an integer" +
                   ((t.types & xplmType_Data) ? " from 0 to 255)" : ")"));
    }
    if (t.types & xplmType_Data) {
      std::string bytes = host.GetBytes(t.name);
      if (bytes.size() < static_cast<size_t>(t.size)) bytes.resize(t.size);
      bytes[t.index] = static_cast<char>(v);
      host.SetBytes(t.name, bytes);
    } else if (t.index >= 0) {
      host.SetIntElement(t.name, t.index, static_cast<int>(v));
    } else {
      host.SetInt(t.name, static_cast<int>(v));
    }
    return "ok";
  }
  double v;
  if (!ParseReal(text, &v)) {
    return Error("bad value " + text + " for " + t.name + " (a number)");
  }
  if (t.index >= 0) {
    host.SetFloatElement(t.name, t.index, static_cast<float>(v));
  } else if (t.types & xplmType_Double) {
    host.SetDouble(t.name, v);
  } else {
    host.SetFloat(t.name, static_cast<float>(v));
  }
  return "ok";
}

std::string ControlExecutor::Step(const Args& args) {
  long long frames = 1;
  if (args.size() > 2 ||
      (args.size() == 2 && !ParseInt(args[1], 1, kMaxStepFrames, &frames))) {
    return Error("usage: step N (N from 1 to " +
                 std::to_string(kMaxStepFrames) + ")");
  }
  running_ = false;
  Host& host = Host::Get();
  host.StepFrames(static_cast<int>(frames), frame_dt_);
  return "ok frame " + std::to_string(host.FrameCount()) + " time " +
         Number(host.ElapsedTime());
}

std::string ControlExecutor::Plugin(const Args& args) {
  if (args.size() >= 2 && args[1] == "tarvos") {
    return ExecutePluginLifecycleCommand(args);
  }
  if (args.size() != 3 || (args[1] != "x737" && args[1] != "xpushback") ||
      (args[2] != "on" && args[2] != "off")) {
    return Error(
        "usage: plugin x737|xpushback on|off, plugin tarvos "
        "enable|disable");
  }
  const char* signature =
      args[1] == "x737" ? kX737Signature : kXPushbackSignature;
  Host& host = Host::Get();
  if (args[2] == "on") {
    return "ok plugin " + args[1] + " id " +
           std::to_string(host.AddPlugin(signature));
  }
  host.RemovePlugin(signature);
  return "ok plugin " + args[1] + " off";
}

std::string ControlExecutor::AircraftCount(const Args& args) {
  long long count;
  if (args.size() != 2 ||
      !ParseInt(args[1], 0, flight::Traffic::kMaxAircraft, &count)) {
    return Error("usage: aircraft COUNT (COUNT from 0 to " +
                 std::to_string(flight::Traffic::kMaxAircraft) + ")");
  }
  if (flight_ == nullptr) return Error("no scripted flight");
  flight_->traffic().SetCount(static_cast<int>(count));
  return "ok aircraft " + std::to_string(count);
}

std::string ControlExecutor::Message(const Args& args) {
  long long id, param = 0;
  if (args.size() < 2 || args.size() > 3 ||
      !ParseInt(args[1], INT32_MIN, INT32_MAX, &id) ||
      (args.size() == 3 &&
       !ParseInt(args[2], INTPTR_MIN, INTPTR_MAX, &param))) {
    return Error("usage: message ID [PARAM] (integers)");
  }
  Host& host = Host::Get();
  // The simulator only sends messages to an enabled plugin.
  if (!host.PluginEnabled()) return Error("the plugin is not enabled");
  host.SendMessageToPlugin(
      XPLM_PLUGIN_XPLANE, static_cast<int>(id),
      reinterpret_cast<void*>(static_cast<intptr_t>(param)));
  return "ok message " + std::to_string(id) + " " + std::to_string(param);
}

std::string ControlExecutor::Crash(const Args& args) {
  if (args.size() != 1) return Error("usage: crash");
  Host& host = Host::Get();
  if (host.PluginEnabled()) {
    host.SendMessageToPlugin(XPLM_PLUGIN_XPLANE, XPLM_MSG_PLANE_CRASHED,
                             nullptr);
  }
  // After a crash the simulator puts the aircraft back at its start.
  if (flight_ != nullptr) flight_->Restart();
  return "ok crashed";
}

std::string ControlExecutor::Flight(const Args& args) {
  if (args.size() != 2 || (args[1] != "on" && args[1] != "off")) {
    return Error("usage: flight on|off");
  }
  if (flight_ == nullptr) return Error("no scripted flight");
  flight_->SetFlying(args[1] == "on");
  return "ok flight " + args[1];
}

std::string ControlExecutor::Commands(const Args& args) {
  if (args.size() != 1) return Error("usage: commands");
  std::vector<CommandRecord> records = Host::Get().TakeCommands();
  std::string out = "ok " + std::to_string(records.size());
  for (const CommandRecord& r : records) {
    const char* phase = r.phase == CommandPhase::kOnce    ? "once"
                        : r.phase == CommandPhase::kBegin ? "begin"
                                                          : "end";
    out += " " + r.name + ":" + phase;
  }
  return out;
}

void ControlExecutor::CollectInputs() {
  for (const InputRecord& r : Host::Get().TakeInputs()) {
    (r.kind == InputKind::kKeyStroke ? pending_keys_ : pending_buttons_)
        .push_back(r);
  }
}

std::string ControlExecutor::Inputs(const Args& args, InputKind first,
                                    InputKind last) {
  if (args.size() != 1) return Error("usage: " + args[0]);
  CollectInputs();
  std::vector<InputRecord>& list =
      first == InputKind::kKeyStroke ? pending_keys_ : pending_buttons_;
  std::string out = "ok " + std::to_string(list.size());
  for (const InputRecord& r : list) {
    if (first != last) {
      out += r.kind == InputKind::kButtonPress ? " press:" : " release:";
    } else {
      out += " ";
    }
    out += std::to_string(r.code);
  }
  list.clear();
  return out;
}

std::string ControlExecutor::Status(const Args& args) {
  if (args.size() != 1) return Error("usage: status");
  Host& host = Host::Get();
  char buf[512];
  std::snprintf(buf, sizeof(buf), "ok frame %lld time %.3f %s",
                static_cast<long long>(host.FrameCount()), host.ElapsedTime(),
                running_ ? "running" : "paused");
  std::string out = buf;
  if (flight_ != nullptr) {
    const flight::AircraftState& s = flight_->state();
    flight::GeoPoint g = flight::ToGeo(s.position);
    std::snprintf(buf, sizeof(buf),
                  " phase %s leg %s lat %.6f lon %.6f alt_ft %.0f hdg %.1f "
                  "gs_kt %.0f vs_fpm %.0f traffic %d",
                  flight::PhaseName(flight_->phase()),
                  flight_->LegName().c_str(), g.latitude, g.longitude,
                  g.elevation * 3.28084, s.heading, s.speed * 1.943844,
                  s.vertical_speed * 196.8504, flight_->traffic().count());
    out += buf;
  }
  return out;
}

// The weather in plain words: the air at sea level, then each wind layer
// and each cloud layer, as one answer line.
std::string ControlExecutor::Weather(const Args& args) {
  if (args.size() != 1) return Error("usage: weather");
  Host& host = Host::Get();
  const std::string w = "sim/weather/";
  char buf[256];
  std::snprintf(buf, sizeof(buf),
                "ok sea level %.1f C, %.2f inHg, dew point %.1f C, "
                "visibility %.0f m, rain %.0f%%",
                host.GetFloat(w + "temperature_sealevel_c"),
                host.GetFloat(w + "barometer_sealevel_inhg"),
                host.GetFloat(w + "dewpoi_sealevel_c"),
                host.GetFloat(w + "visibility_reported_m"),
                host.GetFloat(w + "rain_percent") * 100);
  std::string out = buf;
  const char* kLayers[] = {"surface", "middle", "upper"};
  for (int i = 0; i < 3; ++i) {
    const std::string n = "[" + std::to_string(i) + "]";
    std::snprintf(
        buf, sizeof(buf),
        "; %s wind to %.0f m from %03.0f at %.0f kt, turbulence "
        "%.1f, shear %.0f kt",
        kLayers[i], host.GetFloat(w + "wind_altitude_msl_m" + n),
        host.GetFloat(w + "wind_direction_degt" + n),
        host.GetFloat(w + "wind_speed_kt" + n) * host.WindSpeedUnitKnots(),
        host.GetFloat(w + "turbulence" + n),
        host.GetFloat(w + "shear_speed_kt" + n));
    out += buf;
  }
  for (int i : {0, 2}) {
    const std::string n = "[" + std::to_string(i) + "]";
    std::snprintf(buf, sizeof(buf), "; clouds %s type %d from %.0f to %.0f m",
                  i == 0 ? "lower" : "upper", host.GetInt(w + "cloud_type" + n),
                  host.GetFloat(w + "cloud_base_msl_m" + n),
                  host.GetFloat(w + "cloud_tops_msl_m" + n));
    out += buf;
  }
  return out;
}

}  // namespace simhost
