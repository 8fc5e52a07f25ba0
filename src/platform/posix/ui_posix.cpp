// Message boxes on POSIX: the text always goes to standard error; a desktop
// dialog (zenity, else kdialog) shows it too when there is a display.
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/posix/spawn.h"
#include "platform/text.h"
#include "platform/ui.h"

namespace platform {
namespace {

bool env_set(const char* name) {
  const char* v = std::getenv(name);
  return v && *v;
}

void write_stderr(const std::string& line) {
  const char* p = line.data();
  std::size_t left = line.size();
  while (left > 0) {
    const ssize_t n = ::write(STDERR_FILENO, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    p += n;
    left -= static_cast<std::size_t>(n);
  }
}

// The dialog command for the first tool found, or nothing.
std::vector<std::string> dialog_command(const std::string& caption, const std::string& text, BoxIcon icon,
                                        bool yes_no) {
  if (posix::on_path("zenity")) {
    // --no-markup: the text is shown as it is, with no markup or backslash
    // escapes read into it (paths hold backslashes).
    const char* kind = yes_no ? "--question" : icon == BoxIcon::error ? "--error" : "--info";
    return {"zenity", kind, "--no-markup", "--title=" + caption, "--text=" + text};
  }
  if (posix::on_path("kdialog")) {
    const char* kind = yes_no ? "--yesno" : icon == BoxIcon::error ? "--error" : "--msgbox";
    return {"kdialog", "--title", caption, kind, text};
  }
  return {};
}

}  // namespace

BoxAnswer message_box(std::u16string_view caption, std::u16string_view text, BoxIcon icon, BoxButtons buttons) {
  const std::string cap = utf16_to_utf8(caption);
  const std::string body = utf16_to_utf8(text);
  write_stderr(cap + ": " + body + "\n");
  const bool yes_no = buttons == BoxButtons::yes_no;
  // Nobody can answer: a question is declined.
  const BoxAnswer unanswered = yes_no ? BoxAnswer::no : BoxAnswer::ok;
  if (!env_set("DISPLAY") && !env_set("WAYLAND_DISPLAY")) return unanswered;
  const std::vector<std::string> command = dialog_command(cap, body, icon, yes_no);
  if (command.empty()) return unanswered;
  const int pid = posix::spawn(command, nullptr);
  if (pid < 0) return unanswered;
  // Both tools end with status 0 for OK and Yes; anything else (No, the
  // window closed, a failure) is not a Yes.
  const int status = posix::wait_for_exit(pid);
  if (!yes_no) return BoxAnswer::ok;
  return status == 0 ? BoxAnswer::yes : BoxAnswer::no;
}

}  // namespace platform
