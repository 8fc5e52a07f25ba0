// Paths and text: the form every path takes across the platform layer.
//
// The platform layer is the one boundary between Vesklar and the operating
// system: everything above src/platform/ is platform-neutral and talks to the
// OS only through its headers (one per concern: files, net, threads,
// process, https, ui, desktop). Two implementations exist with the same file
// names: win32/*_win32.cpp (Win32, Winsock, WinHTTP, Shell) and
// posix/*_posix.cpp (POSIX, libcurl). CMake picks one set; no #ifdef outside
// this folder.
//
// Paths are UTF-16 (`std::u16string`) in Windows form: the portable code joins
// them with a backslash. The POSIX layer turns every backslash into '/' when
// it hands a path to the kernel, and hands paths back with '/' turned into a
// backslash, so the same portable code serves both systems.
//
// Unless a contract says otherwise, every function may be called from any
// thread, and failures are return values (never exceptions).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// A path buffer holds 260 UTF-16 units including its terminator, so a path
// has at most 259 characters.
inline constexpr std::size_t kPathUnits = 260;
inline constexpr std::size_t kMaxPathChars = kPathUnits - 1;

// Converts UTF-8 to UTF-16. Invalid sequences become U+FFFD; the conversion
// fails (nullopt) only when the result plus its terminator would need more
// than `max_units` units.
std::optional<std::u16string> utf8_to_utf16(std::string_view utf8, std::size_t max_units);

// UTF-16 to UTF-8 for diagnostics and for handing text to POSIX tools.
std::string utf16_to_utf8(std::u16string_view text);

// UTF-8 made well-formed by the rules of `utf8_to_utf16`: the result is
// exactly `utf16_to_utf8(*utf8_to_utf16(utf8, max_units))`, and it fails
// (nullopt) exactly when that conversion fails. `*units` receives the length
// of the UTF-16 form (a character above U+FFFF counts two). On POSIX no
// UTF-16 text is made on the way.
std::optional<std::string> well_formed_utf8(std::string_view utf8, std::size_t max_units, std::size_t* units);

}  // namespace platform
