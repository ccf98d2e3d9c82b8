// Arbitrary settings-file text: every key of the settings read from it, and
// a rewrite of each, without touching any file.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "settings/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarvos;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  static constexpr std::string_view kKeys[][2] = {
      {"TARVOS SETTINGS", "Tune value"},
      {"TARVOS ATC SETTINGS", "ATC Number"},
      {"TARVOS FLAPS SETTINGS", "Flap detend 10"},
      {"A", ""},
  };
  for (const auto& key : kKeys) {
    FindIniValue(text, key[0], key[1]);
    const std::string rewritten =
        RewriteIniValue(text, key[0], key[1], "v;\"x\"\n[injected]");
    FindIniValue(rewritten, key[0], key[1]);
  }
  return 0;
}
