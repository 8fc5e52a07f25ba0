#include "http/page.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "base/bounded_format.h"
#include "http/response.h"
#include "platform/files.h"
#include "platform/handle.h"
#include "platform/net.h"

namespace {

constexpr char kMarker[] = "VesklarWindows";
constexpr char kHeadTag[] = "</head>";
constexpr std::size_t kHeadTagLength = sizeof(kHeadTag) - 1;

}  // namespace

std::int64_t find_head_tag(const char* text) {
  for (const char* p = text; *p; ++p) {
    // Stops at the first NUL: a shorter remainder fails inside the compare.
    std::size_t i = 0;
    while (i < kHeadTagLength && p[i] && base::ascii_lower(p[i]) == kHeadTag[i]) ++i;
    if (i == kHeadTagLength) return p - text;
  }
  return -1;
}

void serve_page(platform::NativeHandle socket, platform::File& file, const platform::FileFacts& facts,
                std::string_view bootstrap_script, bool head_only) {
  if (head_only) {
    file.close();
    send_response(socket, 200, "OK", "text/html; charset=utf-8", "");
    return;
  }
  if (!file || !facts.regular) {
    file.close();
    send_response(socket, 404, "Not Found", "text/plain; charset=utf-8", "Not Found");
    return;
  }
  const std::int64_t size = facts.size;
  if (size < 0 || size > kPageLimitBytes) {
    file.close();
    send_response(socket, 500, "Error", "text/plain", "html");
    return;
  }
  std::unique_ptr<char[]> page(new (std::nothrow) char[std::size_t(size) + 1]);
  if (!page) return;
  std::uint32_t got = 0;
  if (!file.read(page.get(), std::uint32_t(size), &got)) return;
  file.close();
  const std::size_t page_length = got;
  page[page_length] = '\0';

  // A page that already knows the launcher goes out unchanged; any other
  // gets the script before its first "</head>" (at the start without one).
  const bool inject = !std::strstr(page.get(), kMarker);
  const std::int64_t at = inject ? find_head_tag(page.get()) : -1;
  const std::size_t split = at < 0 ? 0 : std::size_t(at);
  const std::size_t script_length = inject ? bootstrap_script.size() : 0;
  const std::size_t output_length = page_length + script_length;

  // No other site may show the page in a frame: there the editor's buttons
  // would work for that site (a click that seems to go to its page could
  // remove a project), and the framed bootstrap would count as an open page.
  char header[kPageHeaderLimit];
  const int n = std::snprintf(header, sizeof header,
                              "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n"
                              "Content-Length: %d\r\nCache-Control: no-cache\r\nConnection: close\r\n"
                              "Content-Security-Policy: frame-ancestors 'self'\r\n"
                              "X-Frame-Options: SAMEORIGIN\r\n\r\n",
                              int(output_length));
  if (n < 0 || std::size_t(n) >= sizeof header) return;
  // Header and page in one buffer and one send: one system call, and the
  // small page leaves with its header in one segment.
  const std::size_t answer_length = std::size_t(n) + output_length;
  std::unique_ptr<char[]> answer(new (std::nothrow) char[answer_length]);
  if (!answer) return;
  char* out = answer.get();
  std::memcpy(out, header, std::size_t(n));
  out += n;
  std::memcpy(out, page.get(), split);
  out += split;
  if (script_length != 0) std::memcpy(out, bootstrap_script.data(), script_length);
  out += script_length;
  std::memcpy(out, page.get() + split, page_length - split);
  // The connection ends after the page: its last packet may carry the end
  // of the connection too.
  platform::end_with_last_packet(socket);
  send_all(socket, answer.get(), std::int64_t(answer_length));
}
