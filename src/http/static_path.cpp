#include "http/static_path.h"

#include <algorithm>

#include "base/device_name.h"
#include "platform/text.h"

namespace {

// Windows drops trailing dots and spaces from a name ("index.html." opens
// index.html), so such a name would reach a file under another name than the
// one asked for. "." alone is the folder itself.
bool ends_in_dropped_unit(std::string_view component) {
  if (component.empty() || component == ".") return false;
  return component.back() == '.' || component.back() == ' ';
}

}  // namespace

SitePath map_site_path(const char* request_path, const std::u16string& site_folder, SiteFile* file) {
  if (*request_path == '/') ++request_path;
  // The text as Windows would name it, in UTF-8: every check below looks for
  // ASCII only, which is the same in both forms.
  std::size_t units = 0;
  auto converted = platform::well_formed_utf8(request_path, kRelativePathUnits, &units);
  if (!converted) return SitePath::bad;
  std::string& relative = *converted;
  std::replace(relative.begin(), relative.end(), '/', '\\');
  if (relative.find("..") != std::string::npos) return SitePath::bad;
  const auto first = relative.find_first_not_of('\\');
  const std::size_t leading = first == std::string::npos ? relative.size() : first;
  relative.erase(0, leading);
  units -= leading;

  // Devices and alternate data streams are never files of the site: refuse
  // them before the file system sees the name.
  if (relative.find(':') != std::string::npos) return SitePath::bad;
  bool dropped = false;
  std::size_t start = 0;
  for (;;) {
    const auto end = relative.find('\\', start);
    const std::string_view component = std::string_view(relative).substr(start, end - start);
    if (is_device_name(component)) return SitePath::bad;
    dropped = dropped || ends_in_dropped_unit(component);
    if (end == std::string::npos) break;
    start = end + 1;
  }

  // The site folder, a backslash and the relative path fit a Windows path.
  if (site_folder.size() + 1 + units > platform::kMaxPathChars) return SitePath::bad;
  file->path = platform::native_path(site_folder, relative);
  file->relative = std::move(relative);
  return dropped ? SitePath::missing : SitePath::ok;
}
