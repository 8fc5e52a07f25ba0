#include "http/response.h"
#include "platform/handle.h"
#include "platform/net.h"

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
  // One byte more than the limit for the terminator, which is never sent;
  // room behind it for a short body.
  char header[kSimpleHeaderLimit + 1 + kInlineBodyBytes];
  const int n = std::snprintf(header, kSimpleHeaderLimit + 1,
                              "HTTP/1.1 %d %s\r\nContent-Type: %s\r\nContent-Length: %d\r\n"
                              "Cache-Control: no-cache\r\nConnection: close\r\n"
                              "Access-Control-Allow-Origin: *\r\n\r\n",
                              status, reason, content_type, int(body_length));
  if (n < 0 || std::size_t(n) > kSimpleHeaderLimit) return -1;
  // A short body goes out in the same send as the header. Sent apart, the
  // body could wait for the header's acknowledgement (Nagle) while the
  // connection is closed with an unread request body still arriving, and
  // that close resets the connection and drops the waiting body.
  if (body_length <= kInlineBodyBytes) {
    if (body_length > 0) std::memcpy(header + n, body, body_length);
    return send_all(socket, header, n + std::int64_t(body_length));
  }
  if (send_all(socket, header, n) != 0) return -1;
  return send_all(socket, body, std::int64_t(body_length));
}
