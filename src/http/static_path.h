// Turns a decoded request path into a path below the site folder, refusing
// anything that could leave it or reach something that is not a file.
#pragma once

#include <string>

#include "platform/native_path.h"

// `missing`: no file of the site can have this name (a component ending in
// '.' or ' ', which Windows would drop and so open another file), so it is
// answered as a path that does not exist, the same on every system.
enum class SitePath { ok, bad, missing };

inline constexpr std::size_t kRelativePathUnits = 260;  // with the terminator

// A request's file, converted once: the name rules read `relative`, the file
// calls take `path`.
struct SiteFile {
  // Below the site folder: well-formed UTF-8, components joined by a
  // backslash, none leading. Invalid bytes of the request are U+FFFD here,
  // as in the UTF-16 name Windows opens.
  std::string relative;
  // The site folder, a separator and `relative`, ready to open.
  platform::NativePath path;
};

// Fills `file` for `ok` and `missing`. The limits count UTF-16 units, as the
// Windows path buffers do: at most 259 for the relative path, 259 for the
// site folder, a backslash and the relative path together.
SitePath map_site_path(const char* request_path, const std::u16string& site_folder, SiteFile* file);
