#include "launcher/app_window.h"

#include "base/bounded_format.h"
#include "launcher/startup_steps.h"
#include "platform/desktop.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/text.h"

std::optional<std::u16string> find_browser(const std::vector<std::u16string>& candidates) {
  for (const std::u16string& candidate : candidates) {
    const auto path = platform::expand_env(candidate, platform::kPathUnits);
    if (!path) continue;
    // A missing path reads as all bits set, the folder bit among them, so
    // this one test passes exactly the files that exist.
    if ((platform::file_attributes(*path) & platform::kAttrDirectory) == 0) return path;
  }
  return std::nullopt;
}

std::u16string format_app_window_command(std::u16string_view browser, std::u16string_view address,
                                         std::u16string_view profile) {
  std::u16string line;
  base::join_bounded(line, kAppWindowCommandUnits - 1,
                     {u"\"", browser, u"\" --app=", address, u" --user-data-dir=\"", profile,
                      u"\" --no-first-run --disable-sync --disable-features=Translate"});
  return line;
}

void launch_app_window(const std::u16string& profile_folder) {
  const auto browser = find_browser(platform::browser_candidates());
  if (!browser) {
    // The default browser gets the bare address: no app mode, no profile.
    platform::open_with_default_handler(kPageAddress);
    return;
  }
  const std::u16string line =
      format_app_window_command(platform::argument_path(*browser), kPageAddress,
                               platform::argument_path(profile_folder));
  // Default options: the launcher's own folder, no flags, a normal window.
  const platform::Process browser_process =
      line.empty() ? platform::Process() : platform::start_process(line, platform::ProcessOptions{});
  // A browser that does not start is not replaced by a later candidate: the
  // default handler takes over. Otherwise the handle closes here at once;
  // the browser is never waited for.
  if (!browser_process) platform::open_with_default_handler(kPageAddress);
}
