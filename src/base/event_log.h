// The program's own log: one line per event, in a file beside its data, so
// that a user whose program failed without a console can send what happened.
//
// A line is "<UTC time> <event> <details>": the event a short fixed name,
// the details words of the form key=value. Lines never hold a request body
// nor a query string; ids are fine. The file is bounded: when the next line
// would take it past kEventLogMaxBytes it becomes "<name>.1" (replacing an
// older copy) and a new file starts, so at most two files of at most that
// size exist.
//
// Any thread may log. Before the log is opened (the earliest start-up
// steps), and whenever the file cannot be written, logging does nothing: it
// never fails or holds up the caller's work.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/error.h"
#include "platform/files.h"

namespace base {

// Bound of each of the two files.
inline constexpr std::int64_t kEventLogMaxBytes = std::int64_t{1} << 20;
// Longest line, its newline not counted; longer ones are cut.
inline constexpr std::size_t kEventLineMaxBytes = 1024;
// Replaces a control character in a line, so one event stays one line.
inline constexpr char kControlStandIn = '?';

// The line for an event, newline included: control characters replaced,
// cut to kEventLineMaxBytes without splitting a UTF-8 sequence.
std::string format_event_line(std::string_view time, std::string_view event, std::string_view details);

// "2026-03-01T09:30:05.123Z" for the current time.
std::string utc_timestamp();

class EventLog {
 public:
  // Opens `path` for appending, made when missing; the rotated copy is the
  // same path with ".1" added. False (and logging does nothing) on failure.
  bool open(const std::u16string& path);
  void close();
  void write(std::string_view event, std::string_view details);

 private:
  bool rotate();

  std::mutex lock_;  // one writer at a time; held for one short append
  std::u16string path_;
  std::u16string rotated_path_;
  platform::File file_;
  std::int64_t size_ = 0;
};

// The program's log. Never destroyed: detached workers may log while the
// process ends.
EventLog& event_log();

// Logs an event; its details are the parts joined.
void log_event(std::string_view event, std::initializer_list<std::string_view> details = {});

// Logs a failed OS call: the details, then " cause=" and the kind, number
// and system text of platform::last_error(). Call it at once after the
// failing call, before anything else that may touch the thread's last error;
// the parts are views, so building them touches nothing.
void log_os_failure(std::string_view event, std::initializer_list<std::string_view> details);
// The same with the error read beforehand, for details that take work to
// build.
void log_failure(std::string_view event, const platform::Error& error,
                 std::initializer_list<std::string_view> details);

}  // namespace base
