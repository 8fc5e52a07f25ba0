// Start-up steps that live in their own files, called by launcher_main at
// their place in the sequence.
#pragma once

// The editor's address, opened by the app window and the default browser.
inline constexpr char16_t kPageAddress[] = u"http://127.0.0.1:17865/";

// Opens the page in an app window (or the default browser).
void launch_app_window();
// Places the desktop shortcut the first time the program runs from a folder.
void ensure_desktop_shortcut();
// Reads version.txt into the current version fields.
void load_current_version();
// Formats the bootstrap script from the current version fields.
void build_bootstrap_script();
// Checks for an update and offers it; true when the installer has started
// and the process must end.
bool offer_update_at_startup();
