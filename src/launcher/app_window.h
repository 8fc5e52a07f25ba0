// The pieces of the app-window launch that do not start anything, apart so
// that tests can check them without opening a window.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Capacity of the browser command line: 2048 units with the terminator.
inline constexpr std::size_t kAppWindowCommandUnits = 2048;

// The first candidate that, once its %NAME% references are expanded, names
// something that exists and is not a folder. A candidate whose expansion
// fails or does not fit a path buffer counts as not found; an unset name
// stays in the text as written, so that probe fails by itself.
std::optional<std::u16string> find_browser(const std::vector<std::u16string>& candidates);

// "\"<browser>\" --app=<address> --user-data-dir=\"<profile>\" --no-first-run
// --disable-sync --disable-features=Translate". Empty when it would not fit
// its 2048-unit buffer (paths of at most 259 characters always fit).
std::u16string format_app_window_command(std::u16string_view browser, std::u16string_view address,
                                         std::u16string_view profile);
