// Bounded text helpers: every result is terminated and cut to its limit,
// never left unterminated (unlike _snwprintf on overflow).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace base {

// Joins `parts` into `out` if the whole fits in `max_chars` characters
// (a buffer of max_chars + 1 units). On failure `out` is left empty.
bool join_bounded(std::u16string& out, std::size_t max_chars,
                  std::initializer_list<std::u16string_view> parts);

// ASCII-only case folding, independent of the C locale.
constexpr char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }
constexpr char16_t ascii_lower(char16_t c) {
  return (c >= u'A' && c <= u'Z') ? char16_t(c - u'A' + u'a') : c;
}
// Compares the first `n` characters without regard to ASCII case. Both texts
// must hold at least `n` characters.
bool ascii_iequal_n(const char* a, const char* b, std::size_t n);
bool ascii_iequal(std::string_view a, std::string_view b);
bool ascii_iequal(std::u16string_view a, std::u16string_view b);

// Decimal number as strtoll reads it after white space: an optional sign,
// digits up to the first other character (0 when there are none), and
// saturation at the signed 64-bit limits.
std::int64_t parse_decimal_saturating(const char* text);

// Widens 8-bit text byte by byte (for ASCII-only texts).
std::u16string widen_ascii(std::string_view text);

}  // namespace base
