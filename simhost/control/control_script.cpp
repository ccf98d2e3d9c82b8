#include "simhost/control/control_script.h"

#include <fstream>

namespace simhost {

bool RunControlScript(const std::string& path, ControlExecutor* executor,
                      std::FILE* echo, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot read the script " + path;
    return false;
  }
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    const std::string where = path + ":" + std::to_string(number) + ": ";
    std::string answer = executor->Execute(line);
    if (answer.empty()) continue;  // blank or comment
    if (echo != nullptr) {
      std::fprintf(echo, "%s%s\n  %s\n", where.c_str(), line.c_str(),
                   answer.c_str());
      std::fflush(echo);
    }
    if (answer.rfind("error", 0) == 0) {
      *error = where + answer;
      return false;
    }
    if (executor->quit_requested()) return true;
  }
  if (in.bad()) {
    *error = "cannot read the script " + path;
    return false;
  }
  return true;
}

}  // namespace simhost
