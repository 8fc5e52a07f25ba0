#include "base/event_log.h"

#include <chrono>
#include <cstdio>

#include "base/bounded_format.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/text.h"

namespace base {
namespace {

constexpr char16_t kRotatedSuffix[] = u".1";

bool is_control(unsigned char c) { return c < 0x20 || c == 0x7F; }

bool is_continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

std::string join(std::initializer_list<std::string_view> parts) {
  std::string out;
  for (const std::string_view part : parts) out += part;
  return out;
}

}  // namespace

std::string format_event_line(std::string_view time, std::string_view event, std::string_view details) {
  std::string line;
  line.reserve(time.size() + event.size() + details.size() + 3);
  line += time;
  line += ' ';
  line += event;
  if (!details.empty()) {
    line += ' ';
    line += details;
  }
  if (line.size() > kEventLineMaxBytes) {
    // Back over continuation bytes, so the cut never leaves half a character.
    std::size_t end = kEventLineMaxBytes;
    while (end > 0 && is_continuation(static_cast<unsigned char>(line[end]))) --end;
    line.resize(end);
  }
  for (char& c : line)
    if (is_control(static_cast<unsigned char>(c))) c = kControlStandIn;
  line += '\n';
  return line;
}

std::string utc_timestamp() {
  using namespace std::chrono;
  const auto now = time_point_cast<milliseconds>(system_clock::now());
  const auto day = floor<days>(now);
  const year_month_day date{day};
  const hh_mm_ss<milliseconds> clock{now - day};
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()), static_cast<int>(clock.subseconds().count()));
  return text;
}

bool EventLog::open(const std::u16string& path) {
  std::lock_guard<std::mutex> hold(lock_);
  file_.close();
  path_ = path;
  rotated_path_.clear();
  // Without room for the copy's name the file cannot rotate, and lines that
  // would pass the bound are dropped instead.
  join_bounded(rotated_path_, platform::kMaxPathChars, {path, kRotatedSuffix});
  file_ = platform::open_for_append(path_);
  size_ = 0;
  if (file_ && !file_.size(&size_)) file_.close();
  return file_.valid();
}

void EventLog::close() {
  std::lock_guard<std::mutex> hold(lock_);
  file_.close();
}

bool EventLog::rotate() {
  file_.close();
  // A copy that cannot be replaced (open elsewhere without delete sharing)
  // keeps the current file as it is; it is opened again either way.
  if (!rotated_path_.empty()) platform::replace_file(path_, rotated_path_);
  file_ = platform::open_for_append(path_);
  size_ = 0;
  if (file_ && !file_.size(&size_)) file_.close();
  return file_.valid();
}

void EventLog::write(std::string_view event, std::string_view details) {
  const std::string line = format_event_line(utc_timestamp(), event, details);
  std::lock_guard<std::mutex> hold(lock_);
  if (!file_) return;
  const auto length = static_cast<std::int64_t>(line.size());
  if (size_ + length > kEventLogMaxBytes && !rotate()) return;
  // Still too full: the rotation failed, and the bound is kept by dropping.
  if (size_ + length > kEventLogMaxBytes) return;
  std::uint32_t written = 0;
  file_.write(line.data(), static_cast<std::uint32_t>(line.size()), &written);
  size_ += written;
}

EventLog& event_log() {
  static EventLog* log = new EventLog;
  return *log;
}

void log_event(std::string_view event, std::initializer_list<std::string_view> details) {
  event_log().write(event, join(details));
}

void log_os_failure(std::string_view event, std::initializer_list<std::string_view> details) {
  log_failure(event, platform::last_error(), details);
}

void log_failure(std::string_view event, const platform::Error& error,
                 std::initializer_list<std::string_view> details) {
  std::string text = join(details);
  if (!text.empty()) text += ' ';
  text += "cause=";
  text += platform::describe(error);
  event_log().write(event, text);
}

}  // namespace base
