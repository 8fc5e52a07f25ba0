// Desktop integration on Windows: Edge and Chrome where their installers put
// them, and the shortcut made by the hidden PowerShell command the caller
// formatted.
#include <utility>

#include "platform/desktop.h"
#include "platform/process.h"

namespace platform {

std::vector<std::u16string> browser_candidates() {
  return {
      u"%ProgramFiles%\\Microsoft\\Edge\\Application\\msedge.exe",
      u"%ProgramFiles(x86)%\\Microsoft\\Edge\\Application\\msedge.exe",
      u"%LocalAppData%\\Microsoft\\Edge\\Application\\msedge.exe",
      u"%ProgramFiles%\\Google\\Chrome\\Application\\chrome.exe",
      u"%ProgramFiles(x86)%\\Google\\Chrome\\Application\\chrome.exe",
      u"%LocalAppData%\\Google\\Chrome\\Application\\chrome.exe",
  };
}

std::u16string argument_path(std::u16string_view path) { return std::u16string(path); }

std::u16string_view program_file_name() { return u"Vesklar.exe"; }

bool make_desktop_shortcut(const DesktopShortcut& shortcut, std::uint32_t wait_ms) {
  ProcessOptions options;
  options.hidden = true;
  options.no_window = true;
  options.current_folder = &shortcut.folder;
  const Process maker = start_process(shortcut.command_line, options);
  if (!maker) return false;
  // Neither the exit code nor a time-out matters: the shortcut is made or
  // it is not, and start-up goes on either way.
  wait_process(maker, wait_ms);
  return true;
}

InstallerShell installer_shell() { return InstallerShell::powershell; }

std::optional<InstallerFolder> installer_folder() {
  std::optional<std::u16string> folder = temp_folder();
  if (!folder) return std::nullopt;
  return InstallerFolder{std::move(*folder), false};
}

}  // namespace platform
