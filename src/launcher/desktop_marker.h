// The desktop marker: the exe folder for which the desktop shortcut was last
// made, stored as UTF-16 little-endian code units with no byte-order mark,
// no line end and no terminator (two bytes per character).
#pragma once

#include <string>

// Largest marker read back: 259 characters.
inline constexpr unsigned kMarkerReadBytes = 518;

// True when the marker file holds exactly `exe_folder`, compared code unit
// by code unit (letter case counts). Only the first 518 bytes are read, an
// odd last byte is dropped, and the text ends at its first NUL. A missing or
// unreadable marker never matches.
bool marker_matches(const std::u16string& marker_path, const std::u16string& exe_folder);

// Replaces the marker with `exe_folder`. Failures are not reported: a marker
// that was not written only makes the next start repeat the shortcut.
void write_marker(const std::u16string& marker_path, const std::u16string& exe_folder);
