// The start of version.txt: the name holds only its allowed bytes (or the
// number in decimal), and the bootstrap script is never cut.
#include <cstring>

#include "fuzz_input.h"
#include "update/version.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text = fuzz_text(data, size, kVersionFileBytes);
  std::int32_t number = 0;
  char name[40];
  parse_version_text(text.c_str(), &number, name);
  const std::size_t n = std::strlen(name);
  FUZZ_CHECK(n >= 1 && n <= kVersionNameMax);
  for (std::size_t i = 0; i < n; ++i) {
    const char c = name[i];
    FUZZ_CHECK((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-');
  }
  char script[640];
  format_bootstrap_script(number, name, script, sizeof script);
  FUZZ_CHECK(std::strlen(script) <= kBootstrapScriptMaxChars);
  FUZZ_CHECK(std::strstr(script, "</script>") + 9 == script + std::strlen(script));
  return 0;
}
