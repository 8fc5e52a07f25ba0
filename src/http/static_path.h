// Turns a decoded request path into a path below the site folder, refusing
// anything that could leave it or reach something that is not a file.
#pragma once

#include <string>

// `missing`: no file of the site can have this name (a component ending in
// '.' or ' ', which Windows would drop and so open another file), so it is
// answered as a path that does not exist, the same on every system.
enum class SitePath { ok, bad, missing };

inline constexpr std::size_t kRelativePathUnits = 260;  // with the terminator

// On success `joined` is the site folder, a backslash and the relative path.
SitePath map_site_path(const char* request_path, const std::u16string& site_folder, std::u16string* joined);

