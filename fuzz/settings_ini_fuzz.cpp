// Arbitrary settings-file text: every key of the settings read from it, and
// a rewrite of each, without touching any file.
//
// Checked on every rewrite, whatever the text: no line break of the new
// value reaches the file (the rewrite has at most the two lines it may add,
// a section header and a key line, and no line of the injected text), and
// the file grows by at most those two lines.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "settings/ini_file.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

// Lines as the file has them: a last line without a line feed counts.
size_t LineCount(std::string_view text) {
  size_t n = static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
  if (!text.empty() && text.back() != '\n') ++n;
  return n;
}

size_t Occurrences(std::string_view text, std::string_view what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string_view::npos;
       at = text.find(what, at + 1)) {
    ++n;
  }
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarvos;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  static constexpr std::string_view kKeys[][2] = {
      {"TARVOS SETTINGS", "Tune value"},
      {"TARVOS ATC SETTINGS", "ATC Number"},
      {"TARVOS FLAPS SETTINGS", "Flap detend 10"},
      {"A", ""},
  };
  // Values whose first line is all that may be written: the rest tries to
  // add a section and a key line of its own.
  static constexpr std::string_view kValues[][2] = {
      {"v;\"x\"\n[injected]\nATC Number = inj", "v;\"x\""},
      {"w\r\n[injected]\r\nk = inj", "w"},
      {"\n[injected]", ""},
  };
  for (const auto& key : kKeys) {
    FindIniValue(text, key[0], key[1]);
    for (const auto& value : kValues) {
      const std::string rewritten =
          RewriteIniValue(text, key[0], key[1], value[0]);
      const std::string_view first_line = value[1];
      Check(LineCount(rewritten) <= LineCount(text) + 2);
      Check(Occurrences(rewritten, "[injected]") <=
            Occurrences(text, "[injected]"));
      Check(Occurrences(rewritten, "= inj") <= Occurrences(text, "= inj"));
      // At most: a line feed for an unterminated last line, "[section]\n",
      // and "key = value\n".
      Check(rewritten.size() <= text.size() + 1 + key[0].size() + 3 +
                                    key[1].size() + 3 + first_line.size() + 1);
      FindIniValue(rewritten, key[0], key[1]);
    }
  }
  return 0;
}
