// The control channel's fault commands: the host misbehaves on request
// (simhost/host/faults.h), so that a user or a test can watch the plugin
// keep serving. One line in, one answer line out.
//
//   fault help                      these commands
//   fault off                       every fault off
//   fault dataref slow MS           every dataref getter and setter takes
//                                   MS milliseconds (0 to 1000, decimals
//                                   allowed; 0: off)
//   fault dataref values KIND [PREFIX]
//                                   getters of datarefs whose name starts
//                                   with PREFIX (all without one) return
//                                   KIND: nan, inf, -inf, max, min; off
//                                   ends it
//   fault frame late SECONDS        the next frame comes SECONDS late
//                                   (0 to 60): the main thread stalls and
//                                   the frame's time covers the stall
//   fault socket accept|recv|send ERROR [COUNT]
//                                   the plugin's next COUNT such calls (all
//                                   of them without COUNT) fail with ERROR,
//                                   a name such as EMFILE, ECONNRESET,
//                                   EBADF or a number; off ends it
//   fault disk full [FILE]          every write of the plugin to FILE (a
//                                   name such as TARVOS.ini, TARVOS.tmp,
//                                   TARVOS.txt, TARVOS.log; any file
//                                   without one) fails as on a full disk
//   fault disk ok                   the disk has room again
//
// Socket and disk faults need the plugin linked into the same binary with
// its fault seams connected (tests); otherwise they answer an error.
//
// Threads: main thread only (the executor's).
#ifndef TARVOS_SIMHOST_FAULT_COMMANDS_H_
#define TARVOS_SIMHOST_FAULT_COMMANDS_H_

#include <string>
#include <vector>

namespace simhost {

// Runs a `fault ...` line (args[0] is "fault").
std::string ExecuteFaultCommand(const std::vector<std::string>& args);

}  // namespace simhost

#endif  // TARVOS_SIMHOST_FAULT_COMMANDS_H_
