#include "http/request_guard.h"

#include <cstring>
#include <string_view>

#include "base/bounded_format.h"

namespace {

// Long enough for any legitimate value; longer ones cannot match anyway.
constexpr std::size_t kGuardValueBytes = 128;

constexpr std::string_view kHosts[] = {"127.0.0.1:17865", "localhost:17865"};
constexpr std::string_view kOrigins[] = {"http://127.0.0.1:17865", "http://localhost:17865"};

// A header's value without trailing blanks, and whether the header is there.
struct HeaderValue {
  char text[kGuardValueBytes] = {};
  bool present = false;
  std::string_view view() const { return text; }
};

// Counts the header lines named `name` (ASCII case ignored) and reads the
// first one's value.
int read_header(const char* block, const char* name, HeaderValue* out) {
  const std::size_t name_length = std::strlen(name);
  int count = 0;
  for (const char* line = block; *line;) {
    const char* end = std::strstr(line, "\r\n");
    const std::size_t length = end ? std::size_t(end - line) : std::strlen(line);
    if (length > name_length && base::ascii_iequal_n(line, name, name_length) && line[name_length] == ':')
      ++count;
    if (!end) break;
    line = end + 2;
  }
  if (count > 0) {
    out->present = true;
    find_header(block, name, out->text, sizeof out->text);
    std::size_t n = std::strlen(out->text);
    // A value that filled the buffer was cut, and is longer than any allowed
    // one: trimming the blanks the cut left at its end would let an allowed
    // value padded with blanks and followed by anything match.
    if (n + 1 >= sizeof out->text) return count;
    while (n > 0 && (out->text[n - 1] == ' ' || out->text[n - 1] == '\t')) out->text[--n] = '\0';
  }
  return count;
}

bool one_of(std::string_view value, std::initializer_list<std::string_view> allowed, bool ignore_case) {
  for (auto a : allowed)
    if (ignore_case ? base::ascii_iequal(value, a) : value == a) return true;
  return false;
}

}  // namespace

bool from_own_origin(const RequestHead& head) {
  const char* block = head.header_block.get();
  HeaderValue fetch_site;
  if (read_header(block, "Sec-Fetch-Site", &fetch_site) > 0)
    return fetch_site.view() == "same-origin" || fetch_site.view() == "none";
  HeaderValue origin;
  if (read_header(block, "Origin", &origin) > 0) return one_of(origin.view(), {kOrigins[0], kOrigins[1]}, false);
  return true;
}

Guard check_request(const RequestHead& head) {
  const char* block = head.header_block.get();

  // No Host at all passes (local tools may omit it); one that names anything
  // but this server, or two of them, is a rebinding attempt.
  HeaderValue host;
  const int hosts = read_header(block, "Host", &host);
  if (hosts > 1 || (hosts == 1 && !one_of(host.view(), {kHosts[0], kHosts[1]}, true)))
    return Guard::foreign_host;

  const bool safe_method = base::ascii_iequal(head.method, "GET") || base::ascii_iequal(head.method, "HEAD");
  const bool endpoint = std::strncmp(head.path, "/__", 3) == 0;
  if (safe_method && !endpoint) return Guard::pass;

  // Browsers say where a request comes from; a request that says nothing
  // comes from a local tool or an old browser and passes.
  HeaderValue fetch_site;
  if (read_header(block, "Sec-Fetch-Site", &fetch_site) > 0) {
    const bool ok = fetch_site.view() == "same-origin" || (safe_method && fetch_site.view() == "none");
    return ok ? Guard::pass : Guard::foreign_origin;
  }
  HeaderValue origin;
  if (read_header(block, "Origin", &origin) > 0)
    return one_of(origin.view(), {kOrigins[0], kOrigins[1]}, false) ? Guard::pass : Guard::foreign_origin;
  return Guard::pass;
}
