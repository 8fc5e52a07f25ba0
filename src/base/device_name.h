// Names that Windows opens as a device in whatever folder they appear. Every
// place that turns a request's text into a file name asks this one rule:
// the static site refuses such a name, an export name and a media store
// name are mended with a leading '_'.
#pragma once

#include <string_view>

// True for CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM1-COM9 and LPT1-LPT9 (and
// the COM/LPT names with a superscript 1-3, which Windows counts as digits
// too), in any case, alone or before a '.', trailing spaces before the '.'
// ignored as Windows ignores them ("NUL .txt" is the device too).
bool is_device_name(std::u16string_view name);
// The same rule for a well-formed UTF-8 name.
bool is_device_name(std::string_view utf8_name);
