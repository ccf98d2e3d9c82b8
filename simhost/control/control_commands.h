// The control channel's commands: one text line in, one answer line out.
//
// This is the part of the channel without sockets: the TCP/Unix server and
// the start script both feed lines to an executor on the main thread,
// between frames, where driving the host is safe.
//
// Every answer starts with "ok" or "error". A line that is blank or starts
// with "#" is not a command and gets no answer. A bad command (unknown
// word, wrong number of words, bad number, unknown dataref, value out of
// range) changes nothing.
//
//   help                      the command list
//   get NAME                  a dataref's value; NAME[i] for one element
//   set NAME VALUE            set a dataref (NAME[i] for one element)
//   step N                    pause real time and advance N frames
//   run | pause               let real time run, or stop it
//   plugin x737|xpushback on|off
//   plugin tarvos enable|disable
//                             the plugin under test, as the simulator's
//                             plugin manager (lifecycle_commands.h)
//   fault ...                 make the host misbehave (fault_commands.h)
//   weather                  the weather in plain words
//   aircraft COUNT            number of AI aircraft (0 to 19)
//   message ID [PARAM]        send a host message to the plugin
//   crash                     crash the aircraft (message 101, restart)
//   flight on|off             fly the circuit, or stand still
//   commands|buttons|keys     what the plugin issued since the last call
//   status                    one line about the aircraft and the host
//   menu, widgets, widget ..., snapshot FILE.svg, failures
//                             the plugin's menus and windows, used as a
//                             user would (ui_commands.h)
//   windows                   each plugin window: geometry, text drawn last
//   quit                      end the program
//
// Threads: main thread only.
#ifndef TARVOS_SIMHOST_CONTROL_COMMANDS_H_
#define TARVOS_SIMHOST_CONTROL_COMMANDS_H_

#include <string>
#include <string_view>
#include <vector>

#include "simhost/host/host.h"

namespace simhost {

namespace flight {
class FlightModel;
}

// Longest accepted command line, in bytes, without its line end.
inline constexpr size_t kMaxControlLineLength = 1024;
// Most frames one `step` may advance.
inline constexpr int kMaxStepFrames = 1000000;

class ControlExecutor {
 public:
  // `flight` may be null (no scripted flight: aircraft, crash, flight and
  // the flight part of status answer errors). `frame_dt` is the virtual
  // length of a frame advanced by `step`.
  explicit ControlExecutor(flight::FlightModel* flight,
                           float frame_dt = 1.0f / 60.0f);

  // Runs one line (without its line end) and returns the answer, without a
  // line end; empty for blank and comment lines.
  std::string Execute(std::string_view line);

  // False after `step` or `pause`, true after `run` (the initial state).
  bool running() const { return running_; }
  bool quit_requested() const { return quit_; }

 private:
  using Args = std::vector<std::string>;
  std::string Get(const Args& args);
  std::string Set(const Args& args, std::string_view rest);
  std::string Step(const Args& args);
  std::string Plugin(const Args& args);
  std::string AircraftCount(const Args& args);
  std::string Message(const Args& args);
  std::string Crash(const Args& args);
  std::string Flight(const Args& args);
  std::string Commands(const Args& args);
  std::string Inputs(const Args& args, InputKind first, InputKind last);
  std::string Status(const Args& args);
  std::string Weather(const Args& args);
  std::string Windows(const Args& args);  // control_windows.cpp
  // Moves the host's input records into the two pending lists, so that
  // `buttons` does not lose the key strokes and `keys` not the buttons.
  void CollectInputs();

  flight::FlightModel* flight_;
  float frame_dt_;
  bool running_ = true;
  bool quit_ = false;
  std::vector<InputRecord> pending_buttons_;
  std::vector<InputRecord> pending_keys_;
};

}  // namespace simhost

#endif  // TARVOS_SIMHOST_CONTROL_COMMANDS_H_
