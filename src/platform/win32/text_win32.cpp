// UTF-8 <-> UTF-16 through the Windows code-page services.
#include <climits>

#include "platform/native_path.h"
#include "platform/text.h"
#include "platform/win32/win32.h"

namespace platform {

std::optional<std::u16string> utf8_to_utf16(std::string_view utf8, std::size_t max_units) {
  if (max_units == 0) return std::nullopt;
  if (utf8.empty()) return std::u16string();
  if (utf8.size() > INT_MAX) return std::nullopt;
  const int in_len = static_cast<int>(utf8.size());
  // Flags 0: invalid sequences become U+FFFD instead of failing the call.
  const int need = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), in_len, nullptr, 0);
  if (need <= 0 || static_cast<std::size_t>(need) > max_units - 1) return std::nullopt;
  std::u16string out(static_cast<std::size_t>(need), u'\0');
  const int got =
      ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), in_len, win32::wide(out.data()), need);
  if (got != need) return std::nullopt;
  return out;
}

std::string utf16_to_utf8(std::u16string_view text) {
  if (text.empty() || text.size() > INT_MAX) return std::string();
  const auto* in = reinterpret_cast<const wchar_t*>(text.data());
  const int in_len = static_cast<int>(text.size());
  const int need = ::WideCharToMultiByte(CP_UTF8, 0, in, in_len, nullptr, 0, nullptr, nullptr);
  if (need <= 0) return std::string();
  std::string out(static_cast<std::size_t>(need), '\0');
  const int got =
      ::WideCharToMultiByte(CP_UTF8, 0, in, in_len, out.data(), need, nullptr, nullptr);
  out.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return out;
}

std::optional<std::string> well_formed_utf8(std::string_view utf8, std::size_t max_units, std::size_t* units) {
  // Windows opens UTF-16 names, so the UTF-16 form is made here anyway.
  auto wide_form = utf8_to_utf16(utf8, max_units);
  if (!wide_form) return std::nullopt;
  *units = wide_form->size();
  return utf16_to_utf8(*wide_form);
}

NativePath native_path(std::u16string_view path) { return NativePath{std::u16string(path)}; }

NativePath native_path(std::u16string_view folder, std::string_view relative) {
  NativePath out;
  out.text.reserve(folder.size() + 1 + relative.size());
  out.text.append(folder);
  out.text += u'\\';
  // Well-formed already, so nothing is replaced; no limit beyond the caller's.
  out.text += utf8_to_utf16(relative, relative.size() + 1).value_or(std::u16string());
  return out;
}

}  // namespace platform
