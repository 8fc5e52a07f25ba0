// Desktop integration: what the program needs of the user's desktop beyond
// the OS primitives, with a different meaning per system.
//
// Windows: the browsers are Edge and Chrome where their installers put
// them, the shortcut is a .lnk made by a hidden PowerShell command the
// caller formats, and the updater hands over to a Windows PowerShell script
// in the per-user temporary folder.
// Linux: the browsers are found on PATH, the shortcut is a freedesktop
// launcher file written directly, and the updater hands over to a /bin/sh
// script in a private folder made for it.
//
// Paths are in Windows form (see platform/text.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Where a browser for the app window may be, in probe order: paths that may
// hold %NAME% references, for `expand_env`. A candidate is taken when it
// names something that exists and is not a folder.
// Windows: msedge.exe, then chrome.exe, each under %ProgramFiles%,
// %ProgramFiles(x86)% and %LocalAppData%. POSIX: microsoft-edge,
// microsoft-edge-stable, google-chrome, google-chrome-stable, chromium and
// chromium-browser, each looked for in every PATH folder in turn.
std::vector<std::u16string> browser_candidates();

// A path as a program started by `start_process` expects it inside its
// arguments (which are passed on as texts): as it is on Windows, with '/'
// separators on POSIX.
std::u16string argument_path(std::u16string_view path);

// The program's own file name ("Vesklar.exe" / "vesklar"), which a shortcut
// starts whatever name the running copy has.
std::u16string_view program_file_name();

struct DesktopShortcut {
  std::u16string target;        // the program it starts
  std::u16string folder;        // its working folder
  std::u16string icon;          // the icon file (icon index 0)
  std::u16string command_line;  // Windows: the hidden process that makes it
};
// Places the program's shortcut on the user's desktop. True when the maker
// was started, whatever came of it; false when it could not be started, so
// nothing was attempted.
// Windows: starts `command_line` hidden with CREATE_NO_WINDOW in `folder`,
// waits at most `wait_ms` for it to end and closes its handles.
// POSIX: writes a freedesktop launcher "Vesklar.desktop" (Exec, Path, Icon,
// Name) into $XDG_DESKTOP_DIR, or $HOME/Desktop when that is unset or empty;
// "started" means the whole file was written and renamed into place (a
// failure leaves any earlier one as it was). Nothing runs apart, so there
// is nothing to wait for.
// Main thread, during start-up.
bool make_desktop_shortcut(const DesktopShortcut& shortcut, std::uint32_t wait_ms);

// The interpreter of the script that an update hands over to.
// Windows: Windows PowerShell. Linux: the POSIX shell /bin/sh.
enum class InstallerShell { powershell, posix_shell };
InstallerShell installer_shell();

// Where the installer keeps the archive, the script and its staging folder,
// with a trailing separator.
struct InstallerFolder {
  std::u16string path;
  // Made for this update alone (Linux: a private folder in the shared
  // temporary one): its files are created new, never opened if they exist,
  // and the folder goes when the hand-off fails. Otherwise (Windows: the
  // per-user temporary folder) the files keep fixed names and are replaced.
  bool made_for_update = false;
};
// Windows: the per-user temporary folder (`temp_folder`), which other users
// cannot enter, under the fixed names the installer hand-off has always
// used. Linux: a temporary folder is shared by every account, so fixed names
// there could be planted or linked elsewhere by another user beforehand; a
// new private folder is made in it (`make_private_temp_folder`, prefix
// "vesklar-update-"). nullopt when there is no such folder. Any thread.
std::optional<InstallerFolder> installer_folder();

}  // namespace platform
