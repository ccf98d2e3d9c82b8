// Command-line options of tarvos-simhost.
#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "simhost/program/simulator.h"

namespace simhost {
namespace {

// Frame rates outside this range are refused rather than clamped.
constexpr double kMinFps = 1;
constexpr double kMaxFps = 1000;

bool ParseNumber(const std::string& text, double* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  double value = std::strtod(text.c_str(), &end);
  if (errno != 0 || end != text.c_str() + text.size() ||
      !std::isfinite(value)) {
    return false;
  }
  *out = value;
  return true;
}

}  // namespace

std::string SimulatorUsage(const std::string& program) {
  return "usage: " + program +
         " [--root DIR] [--plugin PATH] [--fps N] [--duration SECONDS]"
         " [--no-flight] [--aircraft jet|piston] [--script FILE]"
         " [--control PORT|unix:PATH] [--snapshot FILE.svg]"
         " [--older-host] [--fahrenheit] [--help] [--version]\n"
         "  --root DIR          simulator folder (default: ./simroot)\n"
         "  --plugin PATH       plugin binary (default: "
         "../TARVOS/64/lin.xpl next to this program)\n"
         "  --fps N             flight loops per second (default: 60)\n"
         "  --duration SECONDS  run this long, then stop (default: until "
         "SIGINT or SIGTERM)\n"
         "  --no-flight         keep the aircraft parked and still\n"
         "  --aircraft KIND     jet: the twin jet flying its circuit "
         "(default);\n"
         "                      piston: a single piston engine with "
         "magnetos, parked\n"
         "  --script FILE       run the control commands in FILE at start\n"
         "  --control PORT      control channel on 127.0.0.1:PORT (0: any "
         "free port),\n"
         "                      or unix:PATH for a Unix socket\n"
         "  --snapshot FILE.svg draw the plugin's open windows into FILE.svg "
         "when\n"
         "                      the run ends (see also the snapshot "
         "command)\n"
         "  --older-host        the simulator 11.55 rather than 12.1 "
         "(writable\n"
         "                      failures, thunderstorms, wind speeds in "
         "knots)\n"
         "  --fahrenheit        the aircraft keeps its engine temperatures in "
         "Fahrenheit\n";
}

ParseResult ParseSimulatorOptions(int argc, char** argv,
                                  SimulatorOptions* options,
                                  std::string* error) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") return ParseResult::kHelp;
    if (arg == "--version") return ParseResult::kVersion;
    if (arg == "--no-flight") {
      options->fly = false;
      continue;
    }
    if (arg == "--older-host") {
      options->older_host = true;
      continue;
    }
    if (arg == "--fahrenheit") {
      options->fahrenheit = true;
      continue;
    }
    if (arg == "--aircraft") {
      if (i + 1 >= argc) {
        *error = arg + " needs a value";
        return ParseResult::kError;
      }
      std::string kind = argv[++i];
      if (kind != "jet" && kind != "piston") {
        *error = "--aircraft wants jet or piston, not " + kind;
        return ParseResult::kError;
      }
      options->piston = kind == "piston";
      continue;
    }
    if (arg != "--root" && arg != "--plugin" && arg != "--fps" &&
        arg != "--duration" && arg != "--script" && arg != "--control" &&
        arg != "--snapshot") {
      *error = "unknown option " + arg;
      return ParseResult::kError;
    }
    if (i + 1 >= argc) {
      *error = arg + " needs a value";
      return ParseResult::kError;
    }
    std::string value = argv[++i];
    if (arg == "--snapshot") {
      if (value.size() < 5 || value.compare(value.size() - 4, 4, ".svg") != 0) {
        *error = "--snapshot wants a file name ending in .svg, not " + value;
        return ParseResult::kError;
      }
      options->snapshot = value;
    } else if (arg == "--script" || arg == "--control") {
      if (value.empty()) {
        *error = arg + " needs a value";
        return ParseResult::kError;
      }
      (arg == "--script" ? options->script : options->control) = value;
    } else if (arg == "--root" || arg == "--plugin") {
      if (value.empty()) {
        *error = arg + " needs a value";
        return ParseResult::kError;
      }
      (arg == "--root" ? options->root : options->plugin_path) = value;
    } else if (arg == "--fps") {
      if (!ParseNumber(value, &options->fps) || options->fps < kMinFps ||
          options->fps > kMaxFps) {
        *error = "--fps wants a number from 1 to 1000, not " + value;
        return ParseResult::kError;
      }
    } else {
      if (!ParseNumber(value, &options->duration) || options->duration < 0) {
        *error = "--duration wants a number of seconds, not " + value;
        return ParseResult::kError;
      }
    }
  }
  return ParseResult::kRun;
}

std::string DefaultPluginPath() {
  std::error_code ec;
#if defined(_WIN32)
  char module[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, module, sizeof module);
  std::filesystem::path exe(std::string(module, n < sizeof module ? n : 0));
  if (n == 0 || n >= sizeof module)
    ec = std::make_error_code(std::errc::io_error);
  const char* plugin = "win.xpl";
#else
  std::filesystem::path exe =
      std::filesystem::read_symlink("/proc/self/exe", ec);
  const char* plugin = "lin.xpl";
#endif
  std::filesystem::path dir =
      ec ? std::filesystem::current_path(ec) : exe.parent_path();
  return (dir / ".." / "TARVOS" / "64" / plugin).lexically_normal().string();
}

}  // namespace simhost
