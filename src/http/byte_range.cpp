#include "http/byte_range.h"

#include <cstdio>
#include <cstring>

#include "base/bounded_format.h"
#include "http/response.h"
#include "platform/files.h"
#include "platform/handle.h"
#include "platform/net.h"

namespace {

// Answers whose body is at most this long leave with the end of the
// connection in their last packet; 1 MiB covers the page's files and the
// player's ranges, while a whole video streams uncorked.
constexpr std::int64_t kCorkedBodyMaxBytes = std::int64_t(1) << 20;

// Answers whose body is at most this long go out with one send, header and
// body read together into the worker's stack. Handing the file to the
// system costs more here than copying it: on Linux, five system calls wrap
// the sendfile itself (the socket's send time-out is read, and its mode
// switched to non-blocking and back), against one read.
constexpr std::int64_t kCopiedBodyMaxBytes = 16384;

// strtoll's reading: white space, an optional sign, digits, saturation.
std::int64_t read_number(const char* p) {
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  return base::parse_decimal_saturating(p);
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// "-n": nothing but blanks before the '-', and digits (after blanks) behind it.
bool is_suffix_range(const char* range_set, const char* dash) {
  for (const char* p = range_set; p < dash; ++p)
    if (!is_blank(*p)) return false;
  const char* p = dash + 1;
  while (is_blank(*p)) ++p;
  return *p >= '0' && *p <= '9';
}

// A header put together from its pieces, byte for byte what snprintf made
// of the same format, without the format's parsing, which cost more than
// all the rest of a small file's answer in user space. What does not fit is
// cut, and `length()` is that of the whole text, so a caller tells a header
// that did not fit by `length() >= capacity`, as with snprintf.
class HeaderText {
 public:
  HeaderText(char* buffer, std::size_t capacity) : buffer_(buffer), capacity_(capacity) {}
  HeaderText& text(const char* s) { return add(s, std::strlen(s)); }
  // Decimal, as %d and %lld print it.
  HeaderText& number(long long value) {
    char digits[24];
    char* p = digits + sizeof digits;
    unsigned long long magnitude = value < 0 ? 0ull - static_cast<unsigned long long>(value) : value;
    do {
      *--p = static_cast<char>('0' + magnitude % 10);
      magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) *--p = '-';
    return add(p, std::size_t(digits + sizeof digits - p));
  }
  int length() const { return static_cast<int>(length_); }

 private:
  HeaderText& add(const char* s, std::size_t n) {
    if (length_ < capacity_) std::memcpy(buffer_ + length_, s, n < capacity_ - length_ ? n : capacity_ - length_);
    length_ += n;
    return *this;
  }
  char* buffer_;
  std::size_t capacity_;
  std::size_t length_ = 0;
};

// "HTTP/1.1 <status> <reason>", the type and the length: the start of every
// file answer.
HeaderText& start_header(HeaderText& h, int status, const char* reason, const char* content_type,
                         std::int64_t length) {
  return h.text("HTTP/1.1 ").number(status).text(" ").text(reason).text("\r\nContent-Type: ").text(content_type)
      .text("\r\nContent-Length: ").number(length).text("\r\nAccept-Ranges: bytes\r\n");
}

// A whole file: its header. The length that the whole text needs.
int whole_header(char* buffer, std::size_t capacity, int status, const char* reason, const char* content_type,
                 std::int64_t length) {
  HeaderText h(buffer, capacity);
  start_header(h, status, reason, content_type, length)
      .text("Cache-Control: no-cache\r\nConnection: close\r\nAccess-Control-Allow-Origin: *\r\n\r\n");
  return h.length();
}

// The header and a body of at most kCopiedBodyMaxBytes, in one send. Kept
// out of line, so that its buffer takes stack only when this road is taken.
[[gnu::noinline]] int send_with_short_body(platform::NativeHandle socket, platform::File& file, std::int64_t first,
                                           std::int64_t length, const char* header, int header_length) {
  char answer[kStreamHeaderLimit + kCopiedBodyMaxBytes];
  std::memcpy(answer, header, std::size_t(header_length));
  if (!file.seek(first)) return -1;
  char* body = answer + header_length;
  std::uint32_t have = 0;
  while (have < std::uint32_t(length)) {
    std::uint32_t got = 0;
    if (!file.read(body + have, std::uint32_t(length) - have, &got)) return -1;
    if (got == 0) {
      // The file shrank: what it still has goes out, as on the other roads,
      // and the answer ends short.
      send_all(socket, answer, header_length + have);
      return -1;
    }
    have += got;
  }
  return send_all(socket, answer, header_length + length);
}

}  // namespace

RangeOutcome resolve_range(const char* value, std::int64_t size) {
  RangeOutcome whole{0, size > 0 ? size : 0, false};
  if (size <= 0 || std::strlen(value) < 6 || !base::ascii_iequal_n(value, "bytes=", 6)) return whole;
  const char* range_set = value + 6;
  const char* dash = std::strchr(range_set, '-');
  if (!dash) return whole;
  if (is_suffix_range(range_set, dash)) {
    // The last n bytes; a suffix longer than the file means all of it, and
    // a suffix of 0 asks for nothing, which is refused like any range that
    // cannot be granted.
    const std::int64_t n = read_number(dash + 1);
    if (n <= 0) return whole;
    return n >= size ? RangeOutcome{0, size, true} : RangeOutcome{size - n, n, true};
  }
  // Nothing before the '-' and no number after it: from 0.
  std::int64_t first = dash == range_set ? 0 : read_number(range_set);
  std::int64_t last = dash[1] != '\0' ? read_number(dash + 1) : size - 1;
  if (first < 0) first = 0;
  if (last >= size) last = size - 1;
  if (first > last) return whole;
  return RangeOutcome{first, last - first + 1, true};
}

int stream_file_range(platform::NativeHandle socket, platform::File& file, std::int64_t first,
                      std::int64_t length, int status, const char* reason, const char* content_type,
                      std::int64_t total_size, bool partial) {
  char header[kStreamHeaderLimit];
  int n;
  if (partial) {
    HeaderText h(header, sizeof header);
    start_header(h, status, reason, content_type, length)
        .text("Content-Range: bytes ").number(first).text("-").number(first + length - 1).text("/")
        .number(total_size)
        .text("\r\nCache-Control: no-cache\r\nConnection: close\r\n"
              "Access-Control-Allow-Origin: *\r\n"
              "Access-Control-Expose-Headers: Content-Range, Accept-Ranges\r\n\r\n");
    n = h.length();
  } else {
    n = whole_header(header, sizeof header, status, reason, content_type, length);
  }
  if (n < 0 || std::size_t(n) >= sizeof header) return -1;
  if (length <= 0) return send_all(socket, header, n) != 0 ? -1 : 0;
  // The connection ends after this answer: the system holds the header back
  // for the body that follows at once (header and body may leave in one
  // packet), and the last packet may carry the end of the connection too.
  // A long body leaves in full packets anyway, and holding its partial ones
  // back would only keep a reader waiting between two pieces of the file.
  if (length <= kCorkedBodyMaxBytes) platform::end_with_last_packet(socket);
  if (length <= kCopiedBodyMaxBytes) return send_with_short_body(socket, file, first, length, header, n);
  if (send_all(socket, header, n) != 0) return -1;
  // The kernel sends the body straight from the file when it can; the
  // bytes are the same either way.
  switch (platform::transmit_file(socket, file, first, length)) {
    case platform::Transmit::sent: return 0;
    case platform::Transmit::failed: return -1;
    case platform::Transmit::unavailable: break;
  }
  return send_file_by_copy(socket, file, first, length);
}

// Kept out of line, so that its 64 KiB buffer takes stack only when this
// road is taken.
[[gnu::noinline]] int send_file_by_copy(platform::NativeHandle socket, platform::File& file, std::int64_t first,
                                        std::int64_t length) {
  if (length <= 0) return 0;
  if (!file.seek(first)) return -1;
  // One buffer per stream, on the worker's stack: no heap per request, and
  // memory stays flat whatever the file size.
  char buffer[kStreamBufferBytes];
  std::int64_t remaining = length;
  while (remaining > 0) {
    const std::uint32_t want =
        remaining < std::int64_t(kStreamBufferBytes) ? std::uint32_t(remaining) : kStreamBufferBytes;
    std::uint32_t got = 0;
    if (!file.read(buffer, want, &got) || got == 0) return -1;  // shrank or failed
    if (send_all(socket, buffer, got) != 0) return -1;
    remaining -= got;
  }
  return 0;
}

int send_file_head(platform::NativeHandle socket, HeadForm form, const RangeOutcome& outcome,
                   const char* content_type) {
  char header[kMediaHeadHeaderLimit];
  int n;
  std::size_t limit;
  if (form == HeadForm::media) {
    limit = kMediaHeadHeaderLimit;
    n = whole_header(header, limit, outcome.status(), outcome.reason(), content_type, outcome.length);
  } else {
    limit = kStaticHeadHeaderLimit;
    n = std::snprintf(header, limit,
                      "HTTP/1.1 %d %s\r\nContent-Type: %s\r\nContent-Length: %lld\r\n"
                      "Accept-Ranges: bytes\r\nCache-Control: no-cache\r\nConnection: close\r\n\r\n",
                      outcome.status(), outcome.reason(), content_type, (long long)outcome.length);
  }
  if (n < 0 || std::size_t(n) >= limit) return -1;
  return send_all(socket, header, n);
}
