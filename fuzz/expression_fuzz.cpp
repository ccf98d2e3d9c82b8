// Arbitrary token lists for the evaluator. The input is split into tokens at
// line feeds; the first 8 bytes (when present) give the input value. Every
// start index is evaluated, as write expressions start after their targets.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "userconfig/config_parser.h"
#include "userconfig/expression.h"
#include "userconfig/user_tables.h"

namespace {

// A few user datarefs for "$" tokens to find (null handles read 0).
void InstallNames() {
  static bool done = false;
  if (done) return;
  done = true;
  tarvos::InstallUserTables(tarvos::ParseUserOffsetConfig(
      "Dataref a x int\nDataref b y floatarray\nDataref hdg z float\n"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  InstallNames();
  double input = 0;
  if (size >= 8) {
    std::memcpy(&input, data, 8);
    data += 8;
    size -= 8;
  }
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> texts;
  // More tokens than a line holds, so the 256-value stack limit is reached.
  constexpr size_t kMaxTokens = 600;
  while (!text.empty() && texts.size() < kMaxTokens) {
    size_t end = text.find('\n');
    texts.push_back(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view()
                                         : text.substr(end + 1);
  }
  tarvos::TokenList tokens(texts);
  for (int start = 0; start <= tokens.size(); ++start) {
    volatile double r =
        tarvos::EvaluateExpression(tokens.data(), start, tokens.size(), input);
    (void)r;
  }
  return 0;
}
