#include "settings/settings_report.h"

#include <cstdio>
#include <mutex>
#include <set>
#include <vector>

#include "base/status_log.h"

namespace tarvos {
namespace {

struct ReportState {
  std::mutex mu;
  bool holding = false;
  std::vector<std::string> held;
  std::set<std::string> reported;  // lines of this enable period
};

ReportState& State() {
  static ReportState* state = new ReportState;
  return *state;
}

}  // namespace

void HoldSettingsReports() {
  ReportState& st = State();
  std::lock_guard<std::mutex> hold(st.mu);
  st.holding = true;
  st.held.clear();
  st.reported.clear();
}

void ReleaseSettingsReports() {
  ReportState& st = State();
  std::lock_guard<std::mutex> hold(st.mu);
  for (const std::string& line : st.held) StatusLine("%s", line.c_str());
  st.held.clear();
  st.holding = false;
}

void ReportSettingsProblem(const std::string& line) {
  ReportState& st = State();
  std::lock_guard<std::mutex> hold(st.mu);
  if (!st.reported.insert(line).second) return;
  if (st.holding) {
    st.held.push_back(line);
  } else {
    StatusLine("%s", line.c_str());
  }
}

void ReportSettingsFileFailure(const std::string& path,
                               const FileResult& result) {
  const std::string line = "Can't open " + path + ": " + result.Reason() + "\n";
  std::fputs(line.c_str(), stderr);
  ReportSettingsProblem(line);
}

}  // namespace tarvos
