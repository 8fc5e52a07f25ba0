#include "http/response.h"

#include <cstdio>
#include <cstring>

int send_all(platform::NativeHandle socket, const char* data, std::int64_t length) {
  // One send call moves at most this much, so the count fits an int.
  constexpr std::int64_t kMaxSendChunk = 1 << 30;
  std::int64_t sent = 0;
  while (sent < length) {
    const std::int64_t left = length - sent;
    const int n = platform::send_some(socket, data + sent, int(left < kMaxSendChunk ? left : kMaxSendChunk));
    if (n <= 0) return -1;
    sent += n;
  }
  return 0;
}

int send_response(platform::NativeHandle socket, int status, const char* reason,
                  const char* content_type, const char* body) {
  const std::size_t body_length = body ? std::strlen(body) : 0;
  // One byte more than the limit for the terminator, which is never sent.
  char header[kSimpleHeaderLimit + 1];
  const int n = std::snprintf(header, sizeof header,
                              "HTTP/1.1 %d %s\r\nContent-Type: %s\r\nContent-Length: %d\r\n"
                              "Cache-Control: no-cache\r\nConnection: close\r\n"
                              "Access-Control-Allow-Origin: *\r\n\r\n",
                              status, reason, content_type, int(body_length));
  if (n < 0 || std::size_t(n) > kSimpleHeaderLimit) return -1;
  if (send_all(socket, header, n) != 0) return -1;
  if (body_length == 0) return 0;
  return send_all(socket, body, std::int64_t(body_length));
}
