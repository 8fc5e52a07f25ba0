#include "http/response.h"

#include <gtest/gtest.h>

#include <string>

#include "support/socket_capture.h"

namespace {

std::string expected_header(int status, const std::string& reason, const std::string& type,
                            std::size_t length) {
  return "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\nContent-Type: " + type +
         "\r\nContent-Length: " + std::to_string(length) +
         "\r\nCache-Control: no-cache\r\nConnection: close\r\nAccess-Control-Allow-Origin: *\r\n\r\n";
}

TEST(SendResponse, WritesTheFixedTemplateAndBody) {
  struct Case {
    int status;
    const char* reason;
    const char* type;
    const char* body;
  };
  const Case cases[] = {
      {204, "No Content", "text/plain", ""},
      {204, "No Content", "text/plain", nullptr},
      {405, "Method Not Allowed", "text/plain", "no"},
      {200, "OK", "application/json; charset=utf-8",
       "{\"current\":1,\"latest\":0,\"name\":\"\",\"available\":false}"},
  };
  for (const auto& c : cases) {
    SocketCapture cap;
    EXPECT_EQ(send_response(cap.server.get(), c.status, c.reason, c.type, c.body), 0);
    const std::string body = c.body ? c.body : "";
    EXPECT_EQ(cap.finish(), expected_header(c.status, c.reason, c.type, body.size()) + body);
  }
}

TEST(SendResponse, HeaderLimitIsExactly512Bytes) {
  // Grow the content type until the header is exactly 512 bytes long.
  const std::size_t fixed = expected_header(200, "OK", "", 0).size();
  const std::string fits(512 - fixed, 't');
  {
    SocketCapture cap;
    EXPECT_EQ(send_response(cap.server.get(), 200, "OK", fits.c_str(), ""), 0);
    const std::string got = cap.finish();
    EXPECT_EQ(got.size(), 512u);
    EXPECT_EQ(got, expected_header(200, "OK", fits, 0));
  }
  {
    SocketCapture cap;
    const std::string too_long = fits + "t";
    EXPECT_EQ(send_response(cap.server.get(), 200, "OK", too_long.c_str(), "body"), -1);
    EXPECT_EQ(cap.finish(), "");
  }
}

TEST(SendResponse, ReportsAFailedSend) {
  SocketCapture cap;
  cap.client.reset();
  // The peer is gone: the first send may still be accepted by the kernel,
  // but sending a large body must fail at some point.
  const std::string big(4 << 20, 'x');
  EXPECT_EQ(send_response(cap.server.get(), 200, "OK", "text/plain", big.c_str()), -1);
}

}  // namespace
