#include "http/request_guard.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

Guard check(const std::string& request_line, const std::string& headers) {
  std::string raw = request_line + "\r\n" + headers + "\r\n";
  std::vector<char> buffer(raw.begin(), raw.end());
  buffer.push_back('\0');
  RequestHead head;
  EXPECT_TRUE(parse_request_head(buffer.data(), std::int32_t(raw.size()), std::int32_t(raw.size()), &head));
  return check_request(head);
}

TEST(RequestGuard, HostMustNameThisServer) {
  struct Case {
    const char* headers;
    Guard result;
  };
  const Case cases[] = {
      {"", Guard::pass},
      {"Host: 127.0.0.1:17865\r\n", Guard::pass},
      {"host: LOCALHOST:17865\r\n", Guard::pass},
      {"Host: localhost:17865 \r\n", Guard::pass},
      {"Host: evil.example:17865\r\n", Guard::foreign_host},
      {"Host: localhost.:17865\r\n", Guard::foreign_host},
      {"Host: localhost\r\n", Guard::foreign_host},
      {"Host: 127.0.0.1\r\n", Guard::foreign_host},
      {"Host: 127.0.0.1:17865.evil.example\r\n", Guard::foreign_host},
      {"Host: \r\n", Guard::foreign_host},
      {"Host: 127.0.0.1:17865\r\nHost: evil.example\r\n", Guard::foreign_host},
      {"Host: 127.0.0.1:17865\r\nHost: 127.0.0.1:17865\r\n", Guard::foreign_host},
      {"X-Host: evil\r\n", Guard::pass},
  };
  for (const auto& c : cases) EXPECT_EQ(check("GET / HTTP/1.1", c.headers), c.result) << c.headers;
}

TEST(RequestGuard, EndpointsAndSideEffectsNeedThisOrigin) {
  struct Case {
    const char* line;
    const char* headers;
    Guard result;
  };
  const Guard no = Guard::foreign_origin, ok = Guard::pass;
  const Case cases[] = {
      // Site pages and files: any origin may load them (links, reloads).
      {"GET /app.js", "Sec-Fetch-Site: cross-site\r\n", ok},
      {"HEAD /", "Origin: http://evil.example\r\n", ok},
      // Endpoints.
      {"GET /__media/p/i", "Sec-Fetch-Site: same-origin\r\n", ok},
      {"GET /__media/p/i", "Sec-Fetch-Site: none\r\n", ok},
      {"GET /__quit", "Sec-Fetch-Site: cross-site\r\n", no},
      {"GET /__quit", "Sec-Fetch-Site: same-site\r\n", no},
      {"GET /__update", "Origin: http://127.0.0.1:17865\r\n", ok},
      {"GET /__update", "Origin: null\r\n", no},
      {"GET /__update", "", ok},
      {"POST /__quit", "Sec-Fetch-Site: none\r\n", no},
      {"POST /__save", "Sec-Fetch-Site: same-origin\r\nOrigin: http://evil.example\r\n", ok},
      {"POST /__save", "Origin: http://localhost:17865\r\n", ok},
      {"POST /__save", "Origin: http://LOCALHOST:17865\r\n", no},
      {"POST /__save", "Origin: http://127.0.0.1:1786\r\n", no},
      {"POST /__save", "Origin: https://127.0.0.1:17865\r\n", no},
      {"POST /__save", "Origin: http://127.0.0.1:17865.evil.example\r\n", no},
      {"POST /__save", "Origin: http://evil.example\r\n", no},
      // Any method with a side effect, whatever the path.
      {"PUT /", "Origin: http://evil.example\r\n", no},
      {"OPTIONS /__save", "Origin: http://evil.example\r\n", no},
      {"DELETE /__media/p/i", "sec-fetch-site: same-origin\r\n", ok},
      {"DELETE /__media/p/i", "", ok},
  };
  for (const auto& c : cases)
    EXPECT_EQ(check(std::string(c.line) + " HTTP/1.1", c.headers), c.result) << c.line << " " << c.headers;
}

TEST(RequestGuard, ValuesCutToTheBufferNeverMatch) {
  // An allowed value, blanks up to the 127 bytes that are read, then more:
  // what is read ends in blanks, but the value is not the allowed one.
  const std::string pad(127, ' ');
  EXPECT_EQ(check("GET / HTTP/1.1", "Host: 127.0.0.1:17865" + pad + "evil.example\r\n"), Guard::foreign_host);
  EXPECT_EQ(check("POST /__save HTTP/1.1", "Origin: http://localhost:17865" + pad + "x\r\n"),
            Guard::foreign_origin);
  EXPECT_EQ(check("POST /__save HTTP/1.1", "Sec-Fetch-Site: same-origin" + pad + "x\r\n"),
            Guard::foreign_origin);
  // Trailing blanks on a value that fits are still dropped.
  EXPECT_EQ(check("POST /__save HTTP/1.1", "Host: localhost:17865" + std::string(90, ' ') + "\r\n"
                                           "Origin: http://localhost:17865\t \r\n"),
            Guard::pass);
}

}  // namespace

#include "http/router.h"
#include "http/server_context.h"
#include "support/socket_capture.h"

namespace {

std::string route_raw(ServerContext& context, const std::string& raw) {
  std::vector<char> buffer(raw.begin(), raw.end());
  buffer.push_back('\0');
  const auto head_length = std::int32_t(std::strstr(buffer.data(), "\r\n\r\n") - buffer.data()) + 4;
  RequestHead head;
  EXPECT_TRUE(parse_request_head(buffer.data(), std::int32_t(raw.size()), head_length, &head));
  SocketCapture cap;
  cap.start_reading();
  route_request(context, cap.server.get(), head);
  return cap.finish();
}

TEST(RequestGuard, RefusedRequestsNeitherArmNorClearTheQuitDeadline) {
  const std::string host_403 =
      "HTTP/1.1 403 Forbidden\r\nContent-Type: text/plain\r\nContent-Length: 4\r\n"
      "Cache-Control: no-cache\r\nConnection: close\r\nAccess-Control-Allow-Origin: *\r\n\r\nhost";
  const std::string origin_403 =
      "HTTP/1.1 403 Forbidden\r\nContent-Type: text/plain\r\nContent-Length: 6\r\n"
      "Cache-Control: no-cache\r\nConnection: close\r\nAccess-Control-Allow-Origin: *\r\n\r\norigin";
  ServerContext context;
  std::atomic<std::uint32_t>& deadline = context.lifecycle.quit_deadline;
  deadline.store(12345);
  EXPECT_EQ(route_raw(context, "GET / HTTP/1.1\r\nHost: rebound.example:17865\r\n\r\n"), host_403);
  EXPECT_EQ(route_raw(context, "POST /__quit HTTP/1.1\r\nSec-Fetch-Site: cross-site\r\n\r\n"), origin_403);
  EXPECT_EQ(deadline.load(), 12345u);
  deadline.store(0);
  EXPECT_EQ(route_raw(context, "GET /__quit HTTP/1.1\r\nOrigin: null\r\n\r\n"), origin_403);
  EXPECT_EQ(deadline.load(), 0u);
}

}  // namespace
