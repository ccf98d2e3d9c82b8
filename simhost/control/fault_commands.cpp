#include "simhost/control/fault_commands.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#if defined(_WIN32)
#include <winsock2.h>
#endif

#include "simhost/host/faults.h"

namespace simhost {
namespace {

constexpr char kHelp[] =
    "ok fault off | fault dataref slow MS | fault dataref values "
    "nan|inf|-inf|max|min|off [PREFIX] | fault frame late SECONDS | fault "
    "socket accept|recv|send ERROR|off [COUNT] | fault disk full [FILE] | "
    "fault disk ok";

std::string Usage() { return "error usage: fault help"; }

bool ParseNumber(const std::string& text, double lo, double hi, double* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(text.c_str(), &end);
  if (errno != 0 || end != text.c_str() + text.size() || !(v >= lo) ||
      !(v <= hi)) {
    return false;
  }
  *out = v;
  return true;
}

// Socket error names, as the platform's socket layer numbers them.
struct ErrorName {
  const char* name;
  int number;
};
#if defined(_WIN32)
const ErrorName kErrors[] = {
    {"EMFILE", WSAEMFILE},
    {"ENOBUFS", WSAENOBUFS},
    {"ECONNABORTED", WSAECONNABORTED},
    {"ECONNRESET", WSAECONNRESET},
    {"EPIPE", WSAESHUTDOWN},
    {"EBADF", WSAEBADF},
    {"EINVAL", WSAEINVAL},
    {"ETIMEDOUT", WSAETIMEDOUT},
    {"ENETDOWN", WSAENETDOWN},
};
#else
const ErrorName kErrors[] = {
    {"EMFILE", EMFILE},
    {"ENFILE", ENFILE},
    {"ENOBUFS", ENOBUFS},
    {"ENOMEM", ENOMEM},
    {"ECONNABORTED", ECONNABORTED},
    {"ECONNRESET", ECONNRESET},
    {"EPIPE", EPIPE},
    {"EBADF", EBADF},
    {"EINVAL", EINVAL},
    {"ETIMEDOUT", ETIMEDOUT},
    {"EIO", EIO},
    {"ENETDOWN", ENETDOWN},
};
#endif

bool ParseError(const std::string& text, int* out) {
  for (const ErrorName& e : kErrors) {
    if (text == e.name) {
      *out = e.number;
      return true;
    }
  }
  double v;
  if (!ParseNumber(text, 1, 1000000, &v) || v != std::floor(v)) return false;
  *out = static_cast<int>(v);
  return true;
}

std::string DatarefFault(const std::vector<std::string>& args) {
  if (args.size() == 4 && args[2] == "slow") {
    double ms;
    if (!ParseNumber(args[3], 0, 1000, &ms)) {
      return "error usage: fault dataref slow MS (0 to 1000)";
    }
    SetDatarefDelay(static_cast<uint32_t>(std::lround(ms * 1000)));
    return "ok fault dataref slow " + args[3] + " ms";
  }
  if ((args.size() == 4 || args.size() == 5) && args[2] == "values") {
    static const struct {
      const char* word;
      ValueFault fault;
    } kKinds[] = {{"nan", ValueFault::kNaN},
                  {"inf", ValueFault::kInfinity},
                  {"-inf", ValueFault::kMinusInfinity},
                  {"max", ValueFault::kHuge},
                  {"min", ValueFault::kMinusHuge},
                  {"off", ValueFault::kNone}};
    for (const auto& kind : kKinds) {
      if (args[3] != kind.word) continue;
      if (kind.fault == ValueFault::kNone && args.size() == 5) break;
      const std::string prefix = args.size() == 5 ? args[4] : "";
      SetValueFault(kind.fault, prefix);
      return "ok fault dataref values " + args[3] +
             (prefix.empty() ? "" : " " + prefix);
    }
  }
  return "error usage: fault dataref slow MS | fault dataref values "
         "nan|inf|-inf|max|min|off [PREFIX]";
}

std::string SocketFault(const std::vector<std::string>& args) {
  const char* usage =
      "error usage: fault socket accept|recv|send ERROR|off [COUNT]";
  if (args.size() < 4 || args.size() > 5) return usage;
  SocketCallKind call;
  if (args[2] == "accept") {
    call = SocketCallKind::kAccept;
  } else if (args[2] == "recv") {
    call = SocketCallKind::kReceive;
  } else if (args[2] == "send") {
    call = SocketCallKind::kSend;
  } else {
    return usage;
  }
  if (!PluginFaultSeamsConnected()) {
    return "error socket faults need the plugin linked in with its fault "
           "seams connected";
  }
  if (args[3] == "off" && args.size() == 4) {
    FailSocketCalls(call, 0);
    return "ok fault socket " + args[2] + " off";
  }
  int error;
  double count = -1;
  if (!ParseError(args[3], &error) ||
      (args.size() == 5 && (!ParseNumber(args[4], 1, 1000000, &count) ||
                            count != std::floor(count)))) {
    return usage;
  }
  FailSocketCalls(call, error, static_cast<int>(count));
  return "ok fault socket " + args[2] + " " + args[3] +
         (args.size() == 5 ? " " + args[4] : "");
}

std::string DiskFault(const std::vector<std::string>& args) {
  const bool full = args.size() >= 3 && args.size() <= 4 && args[2] == "full";
  const bool ok = args.size() == 3 && args[2] == "ok";
  if (!full && !ok)
    return "error usage: fault disk full [FILE] | fault disk ok";
  if (!PluginFaultSeamsConnected()) {
    return "error disk faults need the plugin linked in with its fault seams "
           "connected";
  }
  if (ok) {
    SetDiskFull(false);
    return "ok fault disk ok";
  }
  const std::string name = args.size() == 4 ? args[3] : "";
  SetDiskFull(true, name);
  return "ok fault disk full" + (name.empty() ? "" : " " + name);
}

}  // namespace

std::string ExecuteFaultCommand(const std::vector<std::string>& args) {
  if (args.size() < 2) return Usage();
  const std::string& what = args[1];
  if (what == "help" && args.size() == 2) return kHelp;
  if (what == "off" && args.size() == 2) {
    ClearFaults();
    return "ok fault off";
  }
  if (what == "dataref") return DatarefFault(args);
  if (what == "frame") {
    double seconds;
    if (args.size() != 4 || args[2] != "late" ||
        !ParseNumber(args[3], 0, 60, &seconds)) {
      return "error usage: fault frame late SECONDS (0 to 60)";
    }
    SetLateFrame(seconds);
    return "ok fault frame late " + args[3];
  }
  if (what == "socket") return SocketFault(args);
  if (what == "disk") return DiskFault(args);
  return Usage();
}

}  // namespace simhost
