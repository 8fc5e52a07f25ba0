#include "media/export_name.h"

#include <optional>
#include <string_view>

#include "base/bounded_format.h"
#include "base/device_name.h"
#include "platform/text.h"

namespace {

bool is_forbidden_unit(char16_t u) {
  if (u < 0x20) return true;
  switch (u) {
    case u'<': case u'>': case u':': case u'"': case u'/': case u'\\': case u'|': case u'?': case u'*':
      return true;
    default:
      return false;
  }
}

bool is_high_surrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }

// The start of a UTF-8 sequence cut off at the end of `text`, or its length
// when the text ends on a whole character. Only a cut counts: a lone
// continuation byte or an invalid lead byte is left to the converter.
std::size_t end_of_whole_characters(std::string_view text) {
  std::size_t i = text.size();
  std::size_t continuation = 0;
  while (i > 0 && continuation < 3 && (static_cast<unsigned char>(text[i - 1]) & 0xC0) == 0x80) {
    --i;
    ++continuation;
  }
  if (i == 0) return text.size();
  const unsigned char lead = static_cast<unsigned char>(text[i - 1]);
  const std::size_t wanted = (lead & 0xE0) == 0xC0 ? 1 : (lead & 0xF0) == 0xE0 ? 2 : (lead & 0xF8) == 0xF0 ? 3 : 0;
  return wanted > continuation ? i - 1 : text.size();
}

// The extension that a shortened name keeps: from the last '.', if it is no
// longer than a numbered name would keep.
std::size_t kept_extension_units(std::u16string_view name) {
  const std::size_t dot = name.rfind(u'.');
  if (dot == std::u16string_view::npos || name.size() - dot > kNumberedExtensionUnits) return 0;
  return name.size() - dot;
}

// Shortens a name to the limit by its stem, so that it keeps its extension
// (and opens with the same program), never between the two halves of a
// surrogate pair.
void fit_export_name(std::u16string& name) {
  if (name.size() <= kExportNameUnits) return;
  const std::size_t extension = kept_extension_units(name);
  std::size_t stem = kExportNameUnits - extension;
  if (stem > 0 && is_high_surrogate(name[stem - 1])) --stem;
  name.erase(stem, name.size() - extension - stem);
}

}  // namespace

std::u16string clean_export_name(std::u16string_view base) {
  std::u16string out;
  for (char16_t u : base) out.push_back(is_forbidden_unit(u) ? u'_' : u);
  fit_export_name(out);
  if (is_device_name(out)) {
    out.insert(out.begin(), u'_');
    fit_export_name(out);
  }
  for (auto it = out.rbegin(); it != out.rend() && (*it == u'.' || *it == u' '); ++it) *it = u'_';
  return out;
}

std::u16string export_name_for(const char* name) {
  if (name == nullptr || name[0] == '\0') return kDefaultExportName;
  // A name cut by the request's length limit may end inside a character:
  // that part goes, instead of becoming a replacement character.
  const std::string_view whole(name, end_of_whole_characters(name));
  if (whole.empty()) return kDefaultExportName;
  const std::optional<std::u16string> wide = platform::utf8_to_utf16(whole, kNameUnits);
  if (!wide) return kDefaultExportName;
  const std::size_t separator = wide->find_last_of(u"\\/");
  const std::u16string_view base =
      separator == std::u16string::npos ? std::u16string_view(*wide) : std::u16string_view(*wide).substr(separator + 1);
  if (base.empty()) return kDefaultExportName;
  return clean_export_name(base);
}

std::u16string numbered_name(std::u16string_view export_name, int n) {
  std::size_t dot = export_name.rfind(u'.');
  if (dot != std::u16string_view::npos && export_name.size() - dot > kNumberedExtensionUnits) {
    dot = std::u16string_view::npos;
  }
  const std::u16string_view stem = export_name.substr(0, dot);
  const std::u16string_view extension =
      dot == std::u16string_view::npos ? std::u16string_view() : export_name.substr(dot);
  std::u16string out(stem);
  out += u'-';
  out += base::widen_ascii(std::to_string(n));
  out += extension;
  return out;
}
