// What the program shows the user of its own: message boxes, and a progress
// window for a long task that the user may cancel.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

namespace platform {

enum class BoxIcon { error, information, question, warning };
enum class BoxButtons { ok, yes_no };
enum class BoxAnswer { ok, yes, no, failed };
// A message box with no owner window. Without a desktop to show it on, the
// text goes to standard error and a Yes/No question answers No.
BoxAnswer message_box(std::u16string_view caption, std::u16string_view text, BoxIcon icon,
                      BoxButtons buttons);

// A small window with no owner that shows how far a long task has come: the
// program's icon, one line of text, a progress bar and a Cancel button.
// Windows: a window of its own class run by a thread of its own, so the task
// may block the caller; the bar counts bytes, or moves as a marquee while
// the total is unknown. POSIX: `zenity --progress` when there is a display
// and zenity is on PATH; otherwise lines of progress on standard error (the
// text and the percentage, or the bytes when the total is unknown), one for
// each change of the whole percentage and always the last one.
class ProgressWindow {
 public:
  // Opens the window at once. `on_cancel` runs at most once, on a thread of
  // the window (never the caller's), when the user cancels: the Cancel
  // button, Escape, or closing the window. It never runs after the window
  // has been destroyed. If no window can be shown, nothing runs it.
  ProgressWindow(std::u16string_view caption, std::u16string_view text, std::u16string_view cancel_label,
                 std::function<void()> on_cancel);
  // Closes the window and waits for its thread.
  ~ProgressWindow();
  ProgressWindow(const ProgressWindow&) = delete;
  ProgressWindow& operator=(const ProgressWindow&) = delete;
  // `done` of `total`; a `total` of 0 means unknown. From one thread at a
  // time, any thread.
  void set_progress(std::uint64_t done, std::uint64_t total);

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
