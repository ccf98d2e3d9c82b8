// What the programs beside the plugin show while they run: a log file of
// time-stamped lines, and a status line redrawn in place on a terminal.
//
// Threads: LogFile::Line may be called from any thread (it takes its own
// lock); a StatusLine belongs to the thread that draws it.
#ifndef TARVOS_CLIENT_PROGRAM_OUTPUT_H_
#define TARVOS_CLIENT_PROGRAM_OUTPUT_H_

#include <cstdio>
#include <fstream>
#include <mutex>
#include <string>

namespace tarvos::client {

class LogFile {
 public:
  // Appends to `path`; a file that cannot be opened leaves the log silent
  // (ok() false), never the program stopped.
  explicit LogFile(const std::string& path);
  bool ok() const { return ok_; }
  // Writes "YYYY-MM-DD HH:MM:SS line" and flushes it.
  void Line(const std::string& line);

 private:
  std::mutex mu_;
  std::ofstream out_;  // guarded by mu_
  bool ok_ = false;
};

class StatusLine {
 public:
  // Draws on standard output when it is a terminal and `quiet` is false;
  // otherwise Show does nothing.
  explicit StatusLine(bool quiet);
  ~StatusLine();
  bool shown() const { return shown_; }
  // Replaces the line with `text`.
  void Show(const std::string& text);

 private:
  bool shown_ = false;
  bool drawn_ = false;
  size_t width_ = 0;  // of the last line drawn, to blank what is left over
};

}  // namespace tarvos::client

#endif  // TARVOS_CLIENT_PROGRAM_OUTPUT_H_
