// Private helper of the POSIX layer: the text of a freedesktop launcher.
#pragma once

#include <string>
#include <string_view>

namespace platform::posix {

// A "[Desktop Entry]" of Type=Application named "Vesklar" that runs
// `program` in `folder` with `icon`, all three native UTF-8 paths. Exec
// quotes the program and escapes it by the desktop entry rules, so any
// path survives: '"', '`', '$' and '\' get a backslash, '%' is doubled, and
// then backslashes and control characters get the string escapes that
// every value gets.
std::string desktop_entry_text(std::string_view program, std::string_view folder, std::string_view icon);

}  // namespace platform::posix
