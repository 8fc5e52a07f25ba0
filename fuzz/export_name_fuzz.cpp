// Export names from arbitrary "name" values: the result is never empty,
// never a device name, never ends in a dot, a space or half a surrogate
// pair, holds no character Windows refuses, and stays within its length
// even when numbered.
#include <string_view>

#include "fuzz_input.h"
#include "media/export_name.h"

namespace {
bool forbidden(char16_t u) {
  return u < 0x20 || std::u16string_view(u"<>:\"/\\|?*").find(u) != std::u16string_view::npos;
}

bool upper_equal(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char16_t c = a[i];
    if (c >= u'a' && c <= u'z') c = char16_t(c - 32);
    if (c != b[i]) return false;
  }
  return true;
}

// Windows ignores spaces before the first dot and counts superscript
// digits as device numbers.
bool is_device(std::u16string_view name) {
  std::u16string_view stem = name.substr(0, name.find(u'.'));
  while (!stem.empty() && stem.back() == u' ') stem.remove_suffix(1);
  for (std::u16string_view d : {u"CON", u"PRN", u"AUX", u"NUL"})
    if (upper_equal(stem, d)) return true;
  const char16_t n = stem.size() == 4 ? stem[3] : 0;
  if ((n >= u'1' && n <= u'9') || n == 0xB9 || n == 0xB2 || n == 0xB3)
    return upper_equal(stem.substr(0, 3), u"COM") || upper_equal(stem.substr(0, 3), u"LPT");
  return false;
}

void check_name(const std::u16string& name, std::size_t limit) {
  FUZZ_CHECK(!name.empty() && name.size() <= limit);
  for (char16_t u : name) FUZZ_CHECK(!forbidden(u));
  FUZZ_CHECK(name.back() != u'.' && name.back() != u' ');
  FUZZ_CHECK(name.back() < 0xD800 || name.back() > 0xDBFF);  // never half a pair
  FUZZ_CHECK(!is_device(name));
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text = fuzz_text(data, size, kNameParamBytes - 1);
  const std::u16string name = export_name_for(text.c_str());
  check_name(name, kExportNameUnits);
  // A number adds "-199" at most.
  check_name(numbered_name(name, kLastNumber), kExportNameUnits + 4);
  return 0;
}
