#include "http/page.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "base/bounded_format.h"
#include "http/response.h"
#include "platform/files.h"
#include "platform/handle.h"

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

  const char* output = page.get();
  std::size_t output_length = page_length;
  std::unique_ptr<char[]> injected;
  // A page that already knows the launcher goes out unchanged.
  if (!std::strstr(page.get(), kMarker)) {
    const std::int64_t at = find_head_tag(page.get());
    const std::size_t split = at < 0 ? 0 : std::size_t(at);
    const char* script = bootstrap_script.data();
    const std::size_t script_length = bootstrap_script.size();
    injected.reset(new (std::nothrow) char[page_length + script_length + 1]);
    if (!injected) return;
    std::memcpy(injected.get(), page.get(), split);
    std::memcpy(injected.get() + split, script, script_length);
    std::memcpy(injected.get() + split + script_length, page.get() + split, page_length - split);
    output = injected.get();
    output_length = page_length + script_length;
  }

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
  if (send_all(socket, header, n) != 0) return;
  send_all(socket, output, std::int64_t(output_length));
}
