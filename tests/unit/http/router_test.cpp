#include "http/router.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "http/server_context.h"
#include "support/socket_capture.h"

namespace {

// Routes one raw request and returns the whole answer.
std::string route_in(ServerContext& context, const std::string& raw, const std::string& late_body = "") {
  std::vector<char> buffer(raw.begin(), raw.end());
  buffer.push_back('\0');
  const char* blank = std::strstr(buffer.data(), "\r\n\r\n");
  EXPECT_NE(blank, nullptr);
  RequestHead head;
  EXPECT_TRUE(parse_request_head(buffer.data(), std::int32_t(raw.size()),
                                 std::int32_t(blank - buffer.data()) + 4, &head));
  SocketCapture cap;
  if (!late_body.empty()) cap.send_from_client(late_body);
  cap.start_reading();
  route_request(context, cap.server.get(), head);
  return cap.finish();
}

std::string status_line(const std::string& answer) { return answer.substr(0, answer.find("\r\n")); }

std::string body_of(const std::string& answer) {
  const auto at = answer.find("\r\n\r\n");
  return at == std::string::npos ? "" : answer.substr(at + 4);
}

// No site folder: site requests end in the page's 404.
class Router : public ::testing::Test {
 protected:
  void SetUp() override {
    context_.folders.site = u"\\no-such-vesklar-site";
    context_.folders.media = u"\\no-such-vesklar-media";
  }
  std::string route(const std::string& raw, const std::string& late_body = "") {
    return route_in(context_, raw, late_body);
  }
  std::atomic<std::uint32_t>& quit_deadline() { return context_.lifecycle.quit_deadline; }
  OpenPages& open_pages() { return context_.lifecycle.open_pages; }

  ServerContext context_;
};

TEST_F(Router, QuitBeaconArmsAndOtherRequestsClear) {
  struct Case {
    const char* request;
    const char* status;
    const char* body;
    bool armed;  // quit deadline pending afterwards
  };
  const Case cases[] = {
      {"POST /__quit HTTP/1.1\r\nContent-Length: 0\r\n\r\n", "HTTP/1.1 204 No Content", "", true},
      {"GET / HTTP/1.1\r\n\r\n", "HTTP/1.1 404 Not Found", "Not Found", false},
      {"GET /__quit?x=1 HTTP/1.1\r\n\r\n", "HTTP/1.1 204 No Content", "", true},
      {"OPTIONS /__save HTTP/1.1\r\n\r\n", "HTTP/1.1 204 No Content", "", false},
      {"POST /__qu%69t HTTP/1.1\r\n\r\n", "HTTP/1.1 204 No Content", "", true},
      {"POST /__quit/ HTTP/1.1\r\n\r\n", "HTTP/1.1 405 Method Not Allowed", "no", false},
      {"OPTIONS /__quit HTTP/1.1\r\n\r\n", "HTTP/1.1 204 No Content", "", true},
      {"PUT / HTTP/1.1\r\n\r\n", "HTTP/1.1 405 Method Not Allowed", "no", false},
  };
  for (const auto& c : cases) {
    const std::string answer = route(c.request);
    EXPECT_EQ(status_line(answer), c.status) << c.request;
    EXPECT_EQ(body_of(answer), c.body) << c.request;
    EXPECT_EQ(quit_deadline().load() != 0, c.armed) << c.request;
  }
}

TEST_F(Router, PagesAnnounceThemselvesAndOtherSitesChangeNothing) {
  struct Case {
    const char* request;
    const char* status;
    bool armed;  // quit deadline pending afterwards
    bool open;   // an announced page open afterwards
  };
  const Case cases[] = {
      {"POST /__open?page=a1&seq=1 HTTP/1.1\r\nSec-Fetch-Site: same-origin\r\n\r\n", "204 No Content", false, true},
      {"POST /__quit?page=a1&seq=2 HTTP/1.1\r\nContent-Length: 0\r\n\r\n", "204 No Content", true, false},
      // Late: overtaken by the beacon; it neither counts nor cancels the quit.
      {"POST /__open?page=a1&seq=1 HTTP/1.1\r\n\r\n", "204 No Content", true, false},
      // Back from the back-forward cache.
      {"POST /__open?page=a1&seq=3 HTTP/1.1\r\n\r\n", "204 No Content", true, true},
      {"POST /__open?page=a%20b&seq=4 HTTP/1.1\r\n\r\n", "400 Bad Request", true, true},
      {"POST /__open?page=b1 HTTP/1.1\r\n\r\n", "400 Bad Request", true, true},
      {"POST /__open?page=b1&seq=-5 HTTP/1.1\r\n\r\n", "400 Bad Request", true, true},
      // Another site: a frame loading the page leaves the pending quit,
      // and its messages are refused.
      {"GET / HTTP/1.1\r\nSec-Fetch-Site: cross-site\r\n\r\n", "404 Not Found", true, true},
      {"GET /style.css HTTP/1.1\r\nOrigin: http://evil.example\r\n\r\n", "404 Not Found", true, true},
      {"POST /__quit?page=a1&seq=9 HTTP/1.1\r\nSec-Fetch-Site: cross-site\r\n\r\n", "403 Forbidden", true, true},
      {"POST /__open?page=c1&seq=1 HTTP/1.1\r\nOrigin: http://evil.example\r\n\r\n", "403 Forbidden", true, true},
      // The launcher's own pages (and local tools) still cancel it.
      {"GET / HTTP/1.1\r\nSec-Fetch-Site: same-origin\r\n\r\n", "404 Not Found", false, true},
      {"POST /__quit?page=a1&seq=10 HTTP/1.1\r\n\r\n", "204 No Content", true, false},
      {"GET /__open?page=d1&seq=1 HTTP/1.1\r\n\r\n", "404 Not Found", false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(status_line(route(c.request)), std::string("HTTP/1.1 ") + c.status) << c.request;
    EXPECT_EQ(quit_deadline().load() != 0, c.armed) << c.request;
    EXPECT_EQ(open_pages().any_open(), c.open) << c.request;
  }
}

TEST_F(Router, MethodAndPathTable) {
  struct Case {
    const char* request;
    const char* status;
    const char* body;
  };
  const Case cases[] = {
      {"POST /__save/ HTTP/1.1\r\n\r\n", "HTTP/1.1 405 Method Not Allowed", "no"},
      {"POST /__SAVE HTTP/1.1\r\n\r\n", "HTTP/1.1 405 Method Not Allowed", "no"},
      {"DELETE /__media HTTP/1.1\r\n\r\n", "HTTP/1.1 405 Method Not Allowed", "no"},
      {"PATCH /__media/p/i HTTP/1.1\r\n\r\n", "HTTP/1.1 405 Method Not Allowed", "no"},
      {"options /anything HTTP/1.1\r\n\r\n", "HTTP/1.1 204 No Content", ""},
      // GET on an endpoint's path is a site request: no site here, no page.
      {"GET /__save HTTP/1.1\r\n\r\n", "HTTP/1.1 404 Not Found", "Not Found"},
      {"GET /__media HTTP/1.1\r\n\r\n", "HTTP/1.1 404 Not Found", "Not Found"},
      // Media routes, any method case; no media folder here, so nothing is found.
      {"head /__media/p/i HTTP/1.1\r\n\r\n", "HTTP/1.1 404 Not Found", "Not Found"},
      {"get /__media//i HTTP/1.1\r\n\r\n", "HTTP/1.1 400 Bad Request", "bad"},
      {"post /__media-copy HTTP/1.1\r\n\r\n", "HTTP/1.1 404 Not Found", "missing"},
      {"Post /__media?id=x HTTP/1.1\r\n\r\n", "HTTP/1.1 400 Bad Request", "bad-id"},
      {"delete /__media/p HTTP/1.1\r\n\r\n", "HTTP/1.1 200 OK", "ok"},
  };
  for (const auto& c : cases) {
    const std::string answer = route(c.request);
    EXPECT_EQ(status_line(answer), c.status) << c.request;
    EXPECT_EQ(body_of(answer), c.body) << c.request;
  }
}

TEST_F(Router, EveryMethodButOptionsReachesTheUpdateEndpoint) {
  // The status document only: a POST could start a real update in a build
  // whose update host is configured (the test copy of the program covers
  // POST against a local host).
  struct Case {
    const char* request;
    const char* content_type;
    const char* body_start;
  };
  const Case cases[] = {
      {"DELETE /__update HTTP/1.1\r\n\r\n", "application/json; charset=utf-8", "{\"current\":"},
      {"GET /__update?x=1 HTTP/1.1\r\n\r\n", "application/json; charset=utf-8", "{\"current\":"},
      {"head /__update HTTP/1.1\r\n\r\n", "application/json; charset=utf-8", "{\"current\":"},
  };
  for (const auto& c : cases) {
    const std::string answer = route(c.request);
    EXPECT_EQ(status_line(answer), "HTTP/1.1 200 OK") << c.request;
    EXPECT_NE(answer.find(std::string("\r\nContent-Type: ") + c.content_type + "\r\n"), std::string::npos)
        << c.request;
    EXPECT_EQ(body_of(answer).rfind(c.body_start, 0), 0u) << c.request;
  }
  EXPECT_EQ(status_line(route("OPTIONS /__update HTTP/1.1\r\n\r\n")), "HTTP/1.1 204 No Content");
}

TEST_F(Router, BeaconDrainsTheOutstandingBodyBeforeAnswering) {
  // Three body bytes came with the head, seven follow later.
  const std::string answer =
      route("POST /__quit HTTP/1.1\r\nContent-Length: 10\r\n\r\nabc", "defghij");
  EXPECT_EQ(status_line(answer), "HTTP/1.1 204 No Content");
}

}  // namespace
