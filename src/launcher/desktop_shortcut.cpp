#include "launcher/desktop_shortcut.h"

#include <cstdint>
#include <optional>

#include "base/bounded_format.h"
#include "base/event_log.h"
#include "launcher/desktop_marker.h"
#include "launcher/startup_steps.h"
#include "platform/desktop.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/text.h"

namespace {

// How long start-up waits for the shortcut to be made; a slow or hung maker
// must not hold the editor back for longer.
constexpr std::uint32_t kShortcutWaitMs = 8000;

// `base` followed by `suffix`, or empty when that exceeds the path limit.
std::u16string compose(std::u16string_view base, std::u16string_view suffix) {
  std::u16string out;
  base::join_bounded(out, platform::kMaxPathChars, {base, suffix});
  return out;
}

}  // namespace

std::u16string quote_ps_literal(std::u16string_view source) {
  std::u16string out;
  for (const char16_t c : source) {
    out += c;
    if (c == u'\'') out += u'\'';
    if (out.size() >= kQuotedPathMaxChars - 1) break;
  }
  return out;
}

std::u16string format_shortcut_command(std::u16string_view target, std::u16string_view folder,
                                       std::u16string_view icon) {
  std::u16string line;
  base::join_bounded(
      line, kShortcutCommandUnits - 1,
      {u"powershell.exe -NoProfile -ExecutionPolicy Bypass -Command \"$w=New-Object -ComObject "
       u"WScript.Shell; $p=Join-Path $w.SpecialFolders('Desktop') 'Vesklar.lnk'; "
       u"$s=$w.CreateShortcut($p); $s.TargetPath='",
       quote_ps_literal(target), u"'; $s.WorkingDirectory='", quote_ps_literal(folder),
       u"'; $s.IconLocation='", quote_ps_literal(icon),
       u",0'; $s.Description='Vesklar'; $s.Save()\""});
  return line;
}

void ensure_desktop_shortcut(const std::u16string& exe_folder) {
  // Without the data folder there is nowhere to remember the shortcut, so
  // none is made either.
  const auto local = platform::env_value(u"LOCALAPPDATA", platform::kPathUnits);
  if (!local) return;
  const std::u16string data_folder = compose(*local, u"\\Vesklar");
  if (data_folder.empty()) return;
  platform::create_folder(data_folder);  // normally there already
  const std::u16string marker = compose(data_folder, u"\\desktop.txt");
  if (marker.empty()) return;

  if (marker_matches(marker, exe_folder)) return;

  // The shortcut starts the program under its usual name, whatever this
  // copy is called, so a renamed download still gets a working shortcut.
  std::u16string program = u"\\";
  program += platform::program_file_name();
  const std::u16string target = compose(exe_folder, program);
  if (target.empty()) return;  // no path to point at; the next start tries again
  std::u16string icon = compose(exe_folder, u"\\Vesklar.ico");
  if (icon.empty() || platform::file_attributes(icon) == platform::kInvalidAttributes) icon = target;

  const platform::DesktopShortcut shortcut{target, exe_folder, icon,
                                           format_shortcut_command(target, exe_folder, icon)};
  // Only a maker that did not start leaves the marker alone, so the next
  // start tries again; one that failed or hung is not retried.
  if (!platform::make_desktop_shortcut(shortcut, kShortcutWaitMs)) {
    base::log_os_failure("desktop_shortcut", {"result=not_started"});
    return;
  }
  base::log_event("desktop_shortcut", {"result=started"});
  write_marker(marker, exe_folder);
}
