// sanitize_segment over arbitrary identifiers: a kept name holds only the
// safe set, is never longer than the limit, and maps byte for byte.
#include "fuzz_input.h"
#include "media/media_store.h"

namespace {
bool is_safe(char16_t c) {
  return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'-' ||
         c == u'_';
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text = fuzz_text(data, size, kIdentifierBytes - 1);
  const char* raw = text.c_str();  // the handlers see it up to the first NUL
  const std::size_t raw_length = std::char_traits<char>::length(raw);
  std::u16string safe = u"untouched";
  const bool kept = sanitize_segment(raw, &safe);
  if (raw_length == 0) {
    FUZZ_CHECK(!kept && safe == u"untouched");
    return 0;
  }
  FUZZ_CHECK(kept);
  FUZZ_CHECK(safe.size() == (raw_length < kSafeNameChars ? raw_length : kSafeNameChars));
  for (std::size_t i = 0; i < safe.size(); ++i) {
    FUZZ_CHECK(is_safe(safe[i]));
    const char16_t original = char16_t(static_cast<unsigned char>(raw[i]));
    FUZZ_CHECK(safe[i] == (is_safe(original) ? original : u'_'));
  }
  return 0;
}
