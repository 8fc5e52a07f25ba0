// The progress window on POSIX: `zenity --progress` fed through a pipe when
// there is a display and zenity is on PATH, otherwise lines on standard
// error. The dialog's end before we close it is the user's cancel (its
// Cancel button or its window closed): zenity's only other early end is a
// display it cannot open, and the question that led here was answered on
// that same display.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/spawn.h"
#include "platform/text.h"
#include "platform/ui.h"

namespace platform {

namespace {

constexpr int kUnknownPercent = -1;
// The dialog's width in pixels, wide enough for the text on one line.
constexpr int kDialogWidth = 420;
// The bytes of an unknown total are shown in tenths of a megabyte.
constexpr std::uint64_t kBytesPerTenthMb = 100000;

bool env_set(const char* name) {
  const char* v = std::getenv(name);
  return v && *v;
}

bool write_whole(int fd, const std::string& text) {
  const char* p = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

int percent_of(std::uint64_t done, std::uint64_t total) {
  if (total == 0) return kUnknownPercent;
  if (done >= total) return 100;
  // Below 100 % until the last byte.
  const std::uint64_t p = total <= UINT64_MAX / 100 ? done * 100 / total : done / (total / 100);
  return static_cast<int>(p < 99 ? p : 99);
}

std::string megabytes(std::uint64_t bytes) {
  const std::uint64_t tenths = bytes / kBytesPerTenthMb;
  return std::to_string(tenths / 10) + "," + std::to_string(tenths % 10) + " MB";
}

}  // namespace

struct ProgressWindow::Impl {
  std::string text;
  std::function<void()> on_cancel;
  int pid = -1;
  int input = -1;  // the dialog's standard input; -1 when lines go to stderr
  std::mutex lock;
  bool closing = false;
  bool ended = false;  // the dialog has exited (not yet reaped)
  std::thread watcher;
  int shown_percent = kUnknownPercent - 1;
  std::uint64_t shown_tenths = UINT64_MAX;

  bool open_dialog(const std::string& caption, const std::string& cancel_label) {
    if (!env_set("DISPLAY") && !env_set("WAYLAND_DISPLAY")) return false;
    if (!posix::on_path("zenity")) return false;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    pid = posix::spawn({"zenity", "--progress", "--no-markup", "--title=" + caption, "--text=" + text,
                        "--percentage=0", "--cancel-label=" + cancel_label, "--width=" + std::to_string(kDialogWidth)},
                       nullptr, fds[0]);
    ::close(fds[0]);
    if (pid < 0) {
      ::close(fds[1]);
      return false;
    }
    input = fds[1];
    watcher = std::thread([this] { watch(); });
    return true;
  }

  // Waits for the dialog to end without reaping it, so that its process id
  // cannot be reused while `close` may still signal it.
  void watch() {
    siginfo_t info{};
    while (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
    }
    bool cancelled = false;
    {
      std::lock_guard<std::mutex> hold(lock);
      ended = true;
      cancelled = !closing;
    }
    if (cancelled && on_cancel) on_cancel();
  }

  void line(const std::string& text_line) {
    if (input >= 0) {
      write_whole(input, text_line);  // a dialog that has gone just misses it
    } else {
      write_whole(STDERR_FILENO, text_line);
    }
  }

  void close() {
    if (pid < 0) return;
    {
      std::lock_guard<std::mutex> hold(lock);
      closing = true;
      if (!ended) ::kill(pid, SIGTERM);
    }
    if (watcher.joinable()) watcher.join();
    posix::wait_for_exit(pid);
    ::close(input);
  }
};

ProgressWindow::ProgressWindow(std::u16string_view caption, std::u16string_view text,
                               std::u16string_view cancel_label, std::function<void()> on_cancel)
    : impl_(std::make_unique<Impl>()) {
  impl_->text = utf16_to_utf8(text);
  impl_->on_cancel = std::move(on_cancel);
  if (!impl_->open_dialog(utf16_to_utf8(caption), utf16_to_utf8(cancel_label))) impl_->line(impl_->text + "\n");
}

ProgressWindow::~ProgressWindow() { impl_->close(); }

void ProgressWindow::set_progress(std::uint64_t done, std::uint64_t total) {
  Impl& w = *impl_;
  const int percent = percent_of(done, total);
  if (percent != kUnknownPercent) {
    if (percent == w.shown_percent) return;
    w.shown_percent = percent;
    w.line(w.input >= 0 ? std::to_string(percent) + "\n" : w.text + " " + std::to_string(percent) + " %\n");
    return;
  }
  // Nothing has come yet: the total may still be announced.
  if (done == 0) return;
  const std::uint64_t tenths = done / kBytesPerTenthMb;
  if (tenths == w.shown_tenths) return;
  w.shown_tenths = tenths;
  // zenity takes a line that begins with '#' as its new text.
  w.line((w.input >= 0 ? "# " : "") + w.text + " " + megabytes(done) + "\n");
}

}  // namespace platform
