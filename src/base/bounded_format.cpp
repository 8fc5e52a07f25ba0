#include "base/bounded_format.h"

#include <limits>

namespace base {

bool join_bounded(std::u16string& out, std::size_t max_chars,
                  std::initializer_list<std::u16string_view> parts) {
  std::size_t total = 0;
  for (auto p : parts) total += p.size();
  out.clear();
  if (total > max_chars) return false;
  out.reserve(total);
  for (auto p : parts) out.append(p);
  return true;
}

bool ascii_iequal_n(const char* a, const char* b, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  return true;
}

bool ascii_iequal(std::string_view a, std::string_view b) {
  return a.size() == b.size() && ascii_iequal_n(a.data(), b.data(), a.size());
}

bool ascii_iequal(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  return true;
}

std::int64_t parse_decimal_saturating(const char* p) {
  bool negative = false;
  if (*p == '+' || *p == '-') negative = (*p++ == '-');
  // Accumulate towards the sign's limit so that INT64_MIN is reachable.
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
  std::int64_t value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    const int digit = *p - '0';
    if (negative) {
      if (value < (kMin + digit) / 10) value = kMin;
      else value = value * 10 - digit;
    } else {
      if (value > (kMax - digit) / 10) value = kMax;
      else value = value * 10 + digit;
    }
  }
  return value;
}

std::u16string widen_ascii(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (unsigned char c : text) out.push_back(char16_t(c));
  return out;
}

}  // namespace base
