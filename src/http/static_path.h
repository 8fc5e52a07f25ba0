// Turns a decoded request path into a path below the site folder, refusing
// anything that could leave it or reach something that is not a file.
#pragma once

#include <string>

enum class SitePath { ok, bad };

inline constexpr std::size_t kRelativePathUnits = 260;  // with the terminator

// On success `joined` is the site folder, a backslash and the relative path.
SitePath map_site_path(const char* request_path, const std::u16string& site_folder, std::u16string* joined);

// True for a name that Windows opens as a device whatever folder it is in
// (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, alone or before a '.', any case,
// trailing spaces ignored).
bool is_device_name(std::u16string_view component);
