#include "http/static_path.h"

#include "base/bounded_format.h"
#include "base/device_name.h"
#include "platform/text.h"

namespace {

// Windows drops trailing dots and spaces from a name ("index.html." opens
// index.html), so such a name would reach a file under another name than the
// one asked for. "." alone is the folder itself.
bool ends_in_dropped_unit(std::u16string_view component) {
  if (component.empty() || component == u".") return false;
  return component.back() == u'.' || component.back() == u' ';
}

}  // namespace

SitePath map_site_path(const char* request_path, const std::u16string& site_folder, std::u16string* joined) {
  if (*request_path == '/') ++request_path;
  auto converted = platform::utf8_to_utf16(request_path, kRelativePathUnits);
  if (!converted) return SitePath::bad;
  std::u16string& relative = *converted;
  for (auto& c : relative)
    if (c == u'/') c = u'\\';
  if (relative.find(u"..") != std::u16string::npos) return SitePath::bad;
  const auto first = relative.find_first_not_of(u'\\');
  relative.erase(0, first == std::u16string::npos ? relative.size() : first);

  // Devices and alternate data streams are never files of the site: refuse
  // them before the file system sees the name.
  if (relative.find(u':') != std::u16string::npos) return SitePath::bad;
  bool dropped = false;
  std::size_t start = 0;
  for (;;) {
    const auto end = relative.find(u'\\', start);
    const std::u16string_view component = std::u16string_view(relative).substr(start, end - start);
    if (is_device_name(component)) return SitePath::bad;
    dropped = dropped || ends_in_dropped_unit(component);
    if (end == std::u16string::npos) break;
    start = end + 1;
  }

  if (!base::join_bounded(*joined, platform::kMaxPathChars, {site_folder, u"\\", relative}))
    return SitePath::bad;
  return dropped ? SitePath::missing : SitePath::ok;
}
