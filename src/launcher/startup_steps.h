// Start-up steps of the launcher's own that live in their own files, called
// by launcher_main at their place in the sequence. (The version and update
// steps belong to update/: update/version.h, update/update_offer.h.)
#pragma once

#include <string>

// The editor's address, opened by the app window and the default browser.
inline constexpr char16_t kPageAddress[] = u"http://127.0.0.1:17865/";

// Opens the page in an app window with its browser profile in
// `profile_folder` (or, when no browser is found or starts, in the default
// browser).
void launch_app_window(const std::u16string& profile_folder);
// Places the desktop shortcut the first time the program runs from
// `exe_folder`.
void ensure_desktop_shortcut(const std::u16string& exe_folder);
