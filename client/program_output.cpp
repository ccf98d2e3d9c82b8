#include "client/program_output.h"

#include <unistd.h>

#include <ctime>

namespace tarvos::client {

LogFile::LogFile(const std::string& path) : out_(path, std::ios::app) {
  ok_ = static_cast<bool>(out_);
}

void LogFile::Line(const std::string& line) {
  std::lock_guard<std::mutex> hold(mu_);
  if (!out_) return;
  const std::time_t now = std::time(nullptr);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", std::localtime(&now));
  out_ << stamp << ' ' << line << '\n' << std::flush;
}

StatusLine::StatusLine(bool quiet) : shown_(!quiet && isatty(1) == 1) {}

StatusLine::~StatusLine() {
  if (drawn_) std::printf("\n");
}

void StatusLine::Show(const std::string& text) {
  if (!shown_) return;
  std::string line = text;
  if (line.size() < width_) line.append(width_ - line.size(), ' ');
  width_ = text.size();
  std::printf("\r%s", line.c_str());
  std::fflush(stdout);
  drawn_ = true;
}

}  // namespace tarvos::client
