// Desktop integration on POSIX: browsers looked up on PATH, and a
// freedesktop launcher on the desktop in place of a Windows shortcut.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <utility>

#include "platform/desktop.h"
#include "platform/files.h"
#include "platform/posix/desktop_entry.h"
#include "platform/posix/posix_path.h"
#include "platform/process.h"

namespace platform {
namespace {

// Edge first, then Chrome, then Chromium, which Linux distributions ship.
constexpr const char* kBrowserNames[] = {
    "microsoft-edge", "microsoft-edge-stable", "google-chrome",
    "google-chrome-stable", "chromium", "chromium-browser",
};

const char* env_text(const char* name) {
  const char* v = std::getenv(name);
  return v && *v ? v : nullptr;
}

// Backslash escapes of a desktop entry string value.
std::string string_value(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case ' ': out += i == 0 ? "\\s" : " "; break;  // a leading space would be trimmed
      default: out += c;
    }
  }
  return out;
}

// One quoted Exec argument, before the string escapes.
std::string exec_argument(std::string_view arg) {
  std::string out = "\"";
  for (const char c : arg) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
    out += c;
    if (c == '%') out += '%';  // a single one would start a field code
  }
  out += '"';
  return out;
}

// The launcher's name while it is being written; hidden, so a desktop never
// shows a half-written one.
constexpr std::string_view kPartName = ".Vesklar.desktop.part";

bool write_whole(File& f, std::string_view text) {
  while (!text.empty()) {
    std::uint32_t n = 0;
    if (!f.write(text.data(), static_cast<std::uint32_t>(text.size()), &n) || n == 0) return false;
    text.remove_prefix(n);
  }
  return true;
}

}  // namespace

namespace posix {

std::string desktop_entry_text(std::string_view program, std::string_view folder, std::string_view icon) {
  std::string text = "[Desktop Entry]\nType=Application\nName=Vesklar\nComment=Vesklar\n";
  text += "Exec=" + string_value(exec_argument(program)) + "\n";
  text += "Path=" + string_value(folder) + "\n";
  text += "Icon=" + string_value(icon) + "\n";
  text += "Terminal=false\n";
  return text;
}

}  // namespace posix

std::vector<std::u16string> browser_candidates() {
  // As a PATH search does: every folder for the first name, then every
  // folder for the next. An empty entry means the current folder, written
  // "." so that the found path never goes through a PATH search again.
  const char* path = env_text("PATH");
  const std::string_view folders = path ? path : "/usr/bin:/bin";
  std::vector<std::u16string> out;
  for (const char* name : kBrowserNames) {
    std::string_view rest = folders;
    for (;;) {
      const std::size_t colon = rest.find(':');
      std::string dir(rest.substr(0, colon));
      if (dir.empty()) dir = ".";
      out.push_back(posix::from_native(dir + "/" + name));
      if (colon == std::string_view::npos) break;
      rest.remove_prefix(colon + 1);
    }
  }
  return out;
}

std::u16string argument_path(std::u16string_view path) {
  std::u16string out(path);
  for (char16_t& c : out) {
    if (c == u'\\') c = u'/';
  }
  return out;
}

std::u16string_view program_file_name() { return u"vesklar"; }

bool make_desktop_shortcut(const DesktopShortcut& shortcut, std::uint32_t /*wait_ms*/) {
  std::string desktop;
  if (const char* dir = env_text("XDG_DESKTOP_DIR")) {
    desktop = dir;
  } else if (const char* home = env_text("HOME")) {
    desktop = std::string(home) + "/Desktop";
  } else {
    return false;
  }
  // Written under a name of its own and renamed into place only when every
  // byte is there: a desktop that is full or read-only must not end with an
  // empty launcher that the marker then stops us from ever writing again. A
  // desktop folder that does not exist is not made: the next start tries
  // again.
  const std::u16string final_path = posix::from_native(desktop + "/Vesklar.desktop");
  const std::u16string part_path = posix::from_native(desktop + "/" + std::string(kPartName));
  File f = create_always(part_path);
  if (!f) return false;
  const std::string text = posix::desktop_entry_text(posix::to_native(shortcut.target), posix::to_native(shortcut.folder),
                                              posix::to_native(shortcut.icon));
  bool ok = write_whole(f, text);
  // Desktops launch only entries that are executable (they count as
  // trusted): execute for whoever may read it, within the user's umask.
  struct stat st;
  const int fd = static_cast<int>(f.native());
  ok = ok && ::fstat(fd, &st) == 0 && ::fchmod(fd, (st.st_mode & 07777) | ((st.st_mode & 0444) >> 2)) == 0 &&
       ::fsync(fd) == 0;
  f.close();
  if (ok && replace_file(part_path, final_path)) return true;
  delete_file(part_path);
  return false;
}

InstallerShell installer_shell() { return InstallerShell::posix_shell; }

std::optional<InstallerFolder> installer_folder() {
  std::optional<std::u16string> folder = make_private_temp_folder(u"vesklar-update-");
  if (!folder) return std::nullopt;
  return InstallerFolder{std::move(*folder), true};
}

}  // namespace platform
