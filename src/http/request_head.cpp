#include "http/request_head.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>

#include "base/bounded_format.h"
#include "http/response.h"
#include "platform/handle.h"
#include "platform/net.h"

namespace {

// Calls `visit(line, length)` for each line of a header block: lines end at
// CR LF, and the last line is whatever follows the last CR LF. `visit`
// returns true to stop.
template <class Visit>
void for_each_line(const char* block, Visit visit) {
  const char* line = block;
  for (;;) {
    const char* end = std::strstr(line, "\r\n");
    const std::size_t length = end ? std::size_t(end - line) : std::strlen(line);
    if (visit(line, length)) return;
    if (!end) return;
    line = end + 2;
  }
}

const char* skip_blanks(const char* p) {
  while (*p == ' ' || *p == '\t') ++p;
  return p;
}

// White space as sscanf sees it in the C locale.
bool is_scanf_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// One "%Ns" conversion (N = capacity - 1): white space skipped, then the
// characters up to the next white space, at most N of them. False when the
// text ends first.
bool scan_word(const char*& p, char* out, std::size_t capacity) {
  while (is_scanf_space(*p)) ++p;
  if (*p == '\0') return false;
  std::size_t n = 0;
  while (n + 1 < capacity && *p != '\0' && !is_scanf_space(*p)) out[n++] = *p++;
  out[n] = '\0';
  return true;
}

constexpr std::size_t kExpectValueBytes = 32;
constexpr std::string_view kContinueToken = "100-continue";

void copy_cut(char* dest, std::size_t capacity, const char* src, std::size_t length) {
  if (capacity == 0) return;
  if (length > capacity - 1) length = capacity - 1;
  std::memcpy(dest, src, length);
  dest[length] = '\0';
}

}  // namespace

bool parse_request_head(char* buffer, std::int32_t received, std::int32_t head_length,
                        RequestHead* out) {
  char* line_end = std::strstr(buffer, "\r\n");
  if (!line_end) return false;
  *line_end = '\0';
  // Read as sscanf(buffer, "%15s %2047s") reads it, without its format
  // parsing: the protocol version and anything after the target are never
  // looked at, and a method longer than its buffer runs on into the target.
  const char* p = buffer;
  if (!scan_word(p, out->method, sizeof out->method) || !scan_word(p, out->target, sizeof out->target)) return false;

  const char* block_start = line_end + 2;
  const std::size_t block_length = std::size_t(buffer + head_length - block_start);
  out->header_block.reset(new (std::nothrow) char[block_length + 1]);
  if (!out->header_block) return false;
  std::memcpy(out->header_block.get(), block_start, block_length);
  out->header_block[block_length] = '\0';

  // Split first, decode second: an escaped '?' belongs to the path.
  out->path = out->target;
  if (char* mark = std::strchr(out->target, '?')) {
    *mark = '\0';
    out->query = mark + 1;
  } else {
    out->query = "";
  }
  url_decode(out->target);

  find_header(out->header_block.get(), "Range", out->range, kRangeBytes);
  out->body_prefix = buffer + head_length;
  out->body_prefix_count = received - head_length;
  return true;
}

void url_decode(char* text) {
  const char* in = text;
  char* out = text;
  while (*in) {
    if (in[0] == '%' && in[1] != '\0' && in[2] != '\0') {
      // Exactly what strtol with base 16 makes of the two characters alone:
      // sign allowed, digits up to the first other character, 0 for none.
      const char pair[3] = {in[1], in[2], '\0'};
      *out++ = static_cast<char>(std::strtol(pair, nullptr, 16) & 0xFF);
      in += 3;
    } else if (*in == '+') {
      *out++ = ' ';
      ++in;
    } else {
      *out++ = *in++;
    }
  }
  *out = '\0';
}

void find_header(const char* block, const char* name, char* dest, std::size_t capacity) {
  if (capacity > 0) dest[0] = '\0';
  const std::size_t name_length = std::strlen(name);
  for_each_line(block, [&](const char* line, std::size_t length) {
    if (length < name_length + 2) return false;
    if (!base::ascii_iequal_n(line, name, name_length) || line[name_length] != ':') return false;
    const char* value = skip_blanks(line + name_length + 1);
    copy_cut(dest, capacity, value, std::size_t(line + length - value));
    return true;
  });
}

std::int64_t content_length(const char* block) {
  static constexpr char kName[] = "Content-Length";
  static constexpr std::size_t kNameLength = sizeof(kName) - 1;
  std::int64_t result = -1;
  for_each_line(block, [&](const char* line, std::size_t length) {
    if (length < kNameLength + 2) return false;
    if (!base::ascii_iequal_n(line, kName, kNameLength) || line[kNameLength] != ':') return false;
    result = base::parse_decimal_saturating(skip_blanks(line + kNameLength + 1));
    return true;
  });
  return result;
}

std::int64_t outstanding_body(const RequestHead& head) {
  const std::int64_t declared = content_length(head.header_block.get());
  return declared > head.body_prefix_count ? declared - head.body_prefix_count : 0;
}

bool expects_continue(const char* header_block) {
  // Longer than the one value that means anything here.
  char value[kExpectValueBytes];
  find_header(header_block, "Expect", value, sizeof value);
  std::size_t n = std::strlen(value);
  while (n > 0 && (value[n - 1] == ' ' || value[n - 1] == '\t')) --n;
  return n == kContinueToken.size() && base::ascii_iequal_n(value, kContinueToken.data(), n);
}

int start_body(platform::NativeHandle socket, const char* header_block, std::int32_t prefix_count) {
  // A body that came whole with the head was not held back.
  if (content_length(header_block) <= prefix_count || !expects_continue(header_block)) return 0;
  static constexpr char kContinue[] = "HTTP/1.1 100 Continue\r\n\r\n";
  return send_all(socket, kContinue, sizeof kContinue - 1);
}

void drain_request_body(platform::NativeHandle socket, const RequestHead& head) {
  const std::int64_t outstanding = outstanding_body(head);
  if (outstanding <= 0) return;
  if (start_body(socket, head.header_block.get(), head.body_prefix_count) != 0) return;
  drain_body(socket, outstanding);
}

void drain_body(platform::NativeHandle socket, std::int64_t count) {
  char scratch[kDrainBlockBytes];
  while (count > 0) {
    const int want = count < std::int64_t(kDrainBlockBytes) ? int(count) : int(kDrainBlockBytes);
    const int got = platform::recv_some(socket, scratch, want);
    if (got <= 0) return;
    count -= got;
  }
}

void query_param(const char* query, const char* name, char* dest, std::size_t capacity) {
  if (capacity > 0) dest[0] = '\0';
  if (!query || !name) return;
  const std::size_t name_length = std::strlen(name);
  const char* segment = query;
  for (;;) {
    const char* end = std::strchr(segment, '&');
    const std::size_t length = end ? std::size_t(end - segment) : std::strlen(segment);
    const char* equals = static_cast<const char*>(std::memchr(segment, '=', length));
    const std::size_t key_length = equals ? std::size_t(equals - segment) : length;
    if (key_length == name_length && std::memcmp(segment, name, name_length) == 0) {
      const char* value = equals ? equals + 1 : segment + length;
      // Cut before decoding: an escape split by the cut stays as written.
      copy_cut(dest, capacity, value, std::size_t(segment + length - value));
      url_decode(dest);
      return;
    }
    if (!end) return;
    segment = end + 1;
  }
}
