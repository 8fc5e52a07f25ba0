#include "media/export_name.h"

#include <optional>

#include "base/bounded_format.h"
#include "base/device_name.h"
#include "platform/platform.h"

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

}  // namespace

std::u16string clean_export_name(std::u16string_view base) {
  std::u16string out;
  for (char16_t u : base.substr(0, kExportNameUnits)) out.push_back(is_forbidden_unit(u) ? u'_' : u);
  if (is_device_name(out)) {
    out.insert(out.begin(), u'_');
    if (out.size() > kExportNameUnits) out.resize(kExportNameUnits);
  }
  for (auto it = out.rbegin(); it != out.rend() && (*it == u'.' || *it == u' '); ++it) *it = u'_';
  return out;
}

std::u16string export_name_for(const char* name) {
  if (name == nullptr || name[0] == '\0') return kDefaultExportName;
  const std::optional<std::u16string> wide = platform::utf8_to_utf16(name, kNameUnits);
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
