// The desktop shortcut's command text, apart so that tests can check it
// without starting anything.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// A quoted path holds at most 699 characters (698 and a doubled quote).
inline constexpr std::size_t kQuotedPathMaxChars = 699;
// Capacity of the shortcut command line: 3200 units with the terminator.
inline constexpr std::size_t kShortcutCommandUnits = 3200;

// `source` for use inside a PowerShell single-quoted literal: every single
// quote doubled. Copying stops at the end of the source or as soon as the
// result holds 698 characters or more, so it never exceeds 699.
std::u16string quote_ps_literal(std::u16string_view source);

// The hidden PowerShell command that makes Vesklar.lnk on the desktop with
// the given target, working folder and icon (index 0). Each path is quoted
// here. Empty if it would not fit its buffer, which quoted paths of at most
// 699 characters never reach.
std::u16string format_shortcut_command(std::u16string_view target, std::u16string_view folder,
                                       std::u16string_view icon);
