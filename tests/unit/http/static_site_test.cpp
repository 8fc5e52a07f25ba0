#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "http/handlers.h"
#include "http/server_context.h"
#include "platform/files.h"
#include "support/socket_capture.h"
#include "support/temp_dir.h"
#include "update/version.h"

namespace {

constexpr char kPage[] = "<!doctype html><html><head><title>t</title></head><body>x</body></html>";

class StaticSite : public ::testing::Test {
 protected:
  void SetUp() override {
    www_ = dir_ / u"www";
    ASSERT_TRUE(platform::create_folder(www_));
    context_.folders.site = www_;
    char script[kBootstrapScriptMaxChars + 1];
    format_bootstrap_script(3, "1.0", script, sizeof script);
    context_.bootstrap_script = script;
    script_ = context_.bootstrap_script;
    TempDir::write(www_ + u"\\index.html", kPage);
  }

  std::string get(const char* path, const char* range = "", bool head_only = false) {
    SocketCapture cap;
    cap.start_reading();
    serve_static(context_, cap.server.get(), path, range, head_only);
    return cap.finish();
  }

  std::string injected(const std::string& page) {
    const auto at = page.find("</head>");
    return page.substr(0, at) + script_ + page.substr(at);
  }

  static std::string page_answer(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\nCache-Control: no-cache\r\nConnection: close\r\n" +
           "Content-Security-Policy: frame-ancestors 'self'\r\nX-Frame-Options: SAMEORIGIN\r\n\r\n" + body;
  }

  static std::string simple(const std::string& status, const std::string& type, const std::string& body) {
    return "HTTP/1.1 " + status + "\r\nContent-Type: " + type + "\r\nContent-Length: " +
           std::to_string(body.size()) +
           "\r\nCache-Control: no-cache\r\nConnection: close\r\nAccess-Control-Allow-Origin: *\r\n\r\n" + body;
  }

  TempDir dir_;
  std::u16string www_;
  std::string script_;
  ServerContext context_;
};

TEST_F(StaticSite, PagesGetTheScriptBeforeTheHeadTag) {
  ASSERT_TRUE(platform::create_folder(www_ + u"\\assets"));
  ASSERT_TRUE(platform::create_folder(www_ + u"\\docs"));
  TempDir::write(www_ + u"\\assets\\index.html", "<head></head>folder page");
  TempDir::write(www_ + u"\\docs\\index.html", "<HEAD></HEAD>docs");
  const std::string site_page = page_answer(injected(kPage));
  for (const char* path : {"/", "", "/editor/settings", "/notes.txt", "/clip.m4a", "/assets", "/assets/"})
    EXPECT_EQ(get(path), site_page) << path;
  EXPECT_EQ(get("/docs/index.html"), page_answer("<HEAD>" + script_ + "</HEAD>docs"));
  EXPECT_EQ(get("/INDEX.HTML"), site_page);
  EXPECT_EQ(get("/", "bytes=0-5"), site_page);  // pages are never ranged
}

TEST_F(StaticSite, PageInjectionCases) {
  struct Case {
    std::string file, body;
  };
  const std::string s = context_.bootstrap_script;
  const Case cases[] = {
      {"<head></HEAD></head>", "<head>" + s + "</HEAD></head>"},
      {"<!doctype html><p>no head", s + "<!doctype html><p>no head"},
      {"", s},
      {"<script>VesklarWindows</script></head>", "<script>VesklarWindows</script></head>"},
      {std::string("a\0</head>", 9), s + std::string("a\0</head>", 9)},
      {"</ head>", s + "</ head>"},
  };
  for (const auto& c : cases) {
    TempDir::write(www_ + u"\\index.html", c.file);
    EXPECT_EQ(get("/"), page_answer(c.body)) << c.file;
  }
}

TEST_F(StaticSite, PageSizeLimit) {
  std::string big(8388608, 'a');
  TempDir::write(www_ + u"\\index.html", big);
  const std::string answer = get("/");
  EXPECT_EQ(answer.size(), page_answer(script_ + big).size());
  EXPECT_EQ(answer.compare(0, 80, page_answer(script_ + big), 0, 80), 0);
  big.push_back('a');
  TempDir::write(www_ + u"\\index.html", big);
  EXPECT_EQ(get("/"), simple("500 Error", "text/plain", "html"));
}

TEST_F(StaticSite, ErrorsAndHeadAnswers) {
  const std::string not_found = simple("404 Not Found", "text/plain; charset=utf-8", "Not Found");
  for (const char* path : {"/logo.png", "/favicon.ico", "/app.js.map", "/x/y.css"}) {
    EXPECT_EQ(get(path), not_found) << path;
    EXPECT_EQ(get(path, "", true), not_found) << path;
  }
  const std::string bad = simple("400 Bad Request", "text/plain", "bad path");
  for (const char* path : {"/a/../b", "/x..y.js", "/CON", "/index.html::$DATA", "/a:b"})
    EXPECT_EQ(get(path), bad) << path;
  EXPECT_EQ(get(("/" + std::string(300, 'a')).c_str()), bad);
  // HEAD of a page: the simple family, length 0, whether the page exists or not.
  const std::string page_head = simple("200 OK", "text/html; charset=utf-8", "");
  EXPECT_EQ(get("/route", "", true), page_head);
  platform::delete_file(www_ + u"\\index.html");
  EXPECT_EQ(get("/", "", true), page_head);
  EXPECT_EQ(get("/"), not_found);
}

TEST_F(StaticSite, FilesAreStreamedWithRanges) {
  std::string data(1000, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = char('a' + i % 26);
  TempDir::write(www_ + u"\\about.html", data);
  TempDir::write(www_ + u"\\empty.js", "");
  const std::string tail =
      "Cache-Control: no-cache\r\nConnection: close\r\nAccess-Control-Allow-Origin: *\r\n";
  EXPECT_EQ(get("/about.html"),
            "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: 1000\r\n"
            "Accept-Ranges: bytes\r\n" + tail + "\r\n" + data);
  EXPECT_EQ(get("//about.html", "bytes=100-109"),
            "HTTP/1.1 206 Partial Content\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: 10\r\n"
            "Accept-Ranges: bytes\r\nContent-Range: bytes 100-109/1000\r\n" + tail +
            "Access-Control-Expose-Headers: Content-Range, Accept-Ranges\r\n\r\n" + data.substr(100, 10));
  EXPECT_EQ(get("/about.html", "bytes=100-", true),
            "HTTP/1.1 206 Partial Content\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: 900\r\n"
            "Accept-Ranges: bytes\r\nCache-Control: no-cache\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(get("/empty.js", "bytes=0-"),
            "HTTP/1.1 200 OK\r\nContent-Type: application/javascript; charset=utf-8\r\nContent-Length: 0\r\n"
            "Accept-Ranges: bytes\r\n" + tail + "\r\n");
}

}  // namespace
