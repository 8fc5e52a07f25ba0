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

// True for a name that Windows opens as a device whatever folder it is in
// (CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM1-COM9, LPT1-LPT9 and the COM/LPT
// names with a superscript 1-3, alone or before a '.', any case, trailing
// spaces ignored).
bool is_device_name(std::u16string_view component);
