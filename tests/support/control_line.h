// A line client of tarvos-simhost's control channel on a Unix socket: one
// command out, its one answer line back.
#ifndef TARVOS_TESTS_SUPPORT_CONTROL_LINE_H_
#define TARVOS_TESTS_SUPPORT_CONTROL_LINE_H_

#include <string>

namespace tarvos::testing {

class ControlLine {
 public:
  ControlLine() = default;
  ~ControlLine();
  ControlLine(const ControlLine&) = delete;
  ControlLine& operator=(const ControlLine&) = delete;

  // Connects to the socket at `path`; false when nothing listens there.
  bool Connect(const std::string& path);
  // Sends one command; its answer without the line end ("" when the
  // channel closed).
  std::string Ask(const std::string& command);

 private:
  int fd_ = -1;
};

}  // namespace tarvos::testing

#endif  // TARVOS_TESTS_SUPPORT_CONTROL_LINE_H_
