// UTF-8 <-> UTF-16 conversion, with the replacement rules of the Windows
// converter: a byte that does not start a well-formed sequence becomes one
// U+FFFD and decoding resumes at the next byte.
#include <algorithm>
#include <cstdint>

#include "platform/native_path.h"
#include "platform/posix/posix_path.h"
#include "platform/text.h"

namespace platform {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool is_continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Decodes one well-formed sequence at `s[i]`. Returns its length (1 to 4) and
// the code point, or 0 when the bytes there are not a well-formed sequence:
// a stray continuation byte, an overlong form, an encoded surrogate, a code
// point above U+10FFFF or a sequence cut short.
std::size_t decode_one(std::string_view s, std::size_t i, char32_t* cp) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  if (b0 < 0x80) {
    *cp = b0;
    return 1;
  }
  std::size_t len;
  unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3;
    if (b0 == 0xE0) lo = 0xA0;  // overlong below U+0800
    if (b0 == 0xED) hi = 0x9F;  // U+D800..U+DFFF
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4;
    if (b0 == 0xF0) lo = 0x90;  // overlong below U+10000
    if (b0 == 0xF4) hi = 0x8F;  // above U+10FFFF
  } else {
    return 0;  // continuation byte, C0/C1 (always overlong) or F5..FF
  }
  if (s.size() - i < len) return 0;
  const auto b1 = static_cast<unsigned char>(s[i + 1]);
  if (b1 < lo || b1 > hi) return 0;
  char32_t v = b0 & (0x7F >> len);
  for (std::size_t k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if (!is_continuation(b)) return 0;
    v = (v << 6) | (b & 0x3F);
  }
  *cp = v;
  return len;
}

void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

bool is_high_surrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool is_low_surrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

}  // namespace

std::optional<std::u16string> utf8_to_utf16(std::string_view utf8, std::size_t max_units) {
  std::u16string out;
  out.reserve(std::min(utf8.size(), max_units));
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t cp = 0;
    const std::size_t len = decode_one(utf8, i, &cp);
    if (len == 0) {
      out += kReplacement;
      ++i;
    } else if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
      i += len;
    } else {
      out += static_cast<char16_t>(cp);
      i += len;
    }
    // Stop as soon as the terminator can no longer fit.
    if (out.size() >= max_units) return std::nullopt;
  }
  if (out.size() >= max_units) return std::nullopt;  // empty input, max_units 0
  return out;
}

namespace {

// Appends `text` as UTF-8; with `slashes`, every backslash as '/'. A run of
// plain ASCII, which nearly every path is, goes in with one resize.
void append_utf16(std::string& out, std::u16string_view text, bool slashes) {
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t end = i;
    while (end < text.size() && text[end] < 0x80) ++end;
    if (end > i) {
      const std::size_t at = out.size();
      out.resize(at + (end - i));
      char* dst = out.data() + at;
      for (; i < end; ++i) {
        const char c = static_cast<char>(text[i]);
        *dst++ = (slashes && c == '\\') ? '/' : c;
      }
      continue;
    }
    const char16_t u = text[i++];
    if (is_high_surrogate(u) && i < text.size() && is_low_surrogate(text[i])) {
      append_utf8(out, 0x10000 + ((char32_t{u} - 0xD800) << 10) + (char32_t{text[i]} - 0xDC00));
      ++i;
    } else if (is_high_surrogate(u) || is_low_surrogate(u)) {
      append_utf8(out, kReplacement);  // unpaired: not representable in UTF-8
    } else {
      append_utf8(out, u);
    }
  }
}

// Room for the UTF-8 form of `units` UTF-16 units when most are ASCII; the
// string grows past it when they are not.
std::size_t utf8_estimate(std::size_t units) { return units + units / 4; }

}  // namespace

std::string utf16_to_utf8(std::u16string_view text) {
  std::string out;
  out.reserve(utf8_estimate(text.size()));
  append_utf16(out, text, /*slashes=*/false);
  return out;
}

std::optional<std::string> well_formed_utf8(std::string_view utf8, std::size_t max_units, std::size_t* units) {
  constexpr char kReplacementUtf8[] = "\xEF\xBF\xBD";
  std::string out;
  out.reserve(std::min(utf8.size(), max_units));
  std::size_t count = 0;  // UTF-16 units of the text so far
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t cp = 0;
    const std::size_t len = decode_one(utf8, i, &cp);
    if (len == 0) {
      out.append(kReplacementUtf8, 3);
      ++i;
      ++count;
    } else {
      // A well-formed sequence is its own UTF-8 form: copied as it is.
      out.append(utf8.data() + i, len);
      i += len;
      count += cp >= 0x10000 ? 2 : 1;
    }
    // The limit of utf8_to_utf16, checked where it checks it.
    if (count >= max_units) return std::nullopt;
  }
  if (count >= max_units) return std::nullopt;
  *units = count;
  return out;
}

NativePath native_path(std::u16string_view path) { return NativePath{posix::to_native(path)}; }

NativePath native_path(std::u16string_view folder, std::string_view relative) {
  NativePath out;
  out.text.reserve(utf8_estimate(folder.size()) + 1 + relative.size());
  append_utf16(out.text, folder, /*slashes=*/true);
  out.text += '/';
  const std::size_t at = out.text.size();
  out.text.append(relative);
  std::replace(out.text.begin() + static_cast<std::ptrdiff_t>(at), out.text.end(), '\\', '/');
  return out;
}

namespace posix {

std::string to_native(std::u16string_view path) {
  std::string out;
  out.reserve(utf8_estimate(path.size()));
  append_utf16(out, path, /*slashes=*/true);
  return out;
}

std::u16string from_native(std::string_view path) {
  std::u16string out = utf8_to_utf16(path, path.size() + 1).value_or(std::u16string());
  std::replace(out.begin(), out.end(), u'/', u'\\');
  return out;
}

}  // namespace posix
}  // namespace platform
