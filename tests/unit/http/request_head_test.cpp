#include "http/request_head.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/socket_capture.h"

namespace {

// Parses `raw` the way a worker does: the head ends after the first blank line.
struct Parsed {
  bool ok = false;
  std::vector<char> buffer;
  RequestHead head;
};

void parse(const std::string& raw, Parsed* p) {
  p->buffer.assign(raw.begin(), raw.end());
  p->buffer.push_back('\0');
  const char* blank = std::strstr(p->buffer.data(), "\r\n\r\n");
  ASSERT_NE(blank, nullptr) << raw;
  const auto head_length = std::int32_t(blank - p->buffer.data()) + 4;
  p->ok = parse_request_head(p->buffer.data(), std::int32_t(raw.size()), head_length, &p->head);
}

struct TargetCase {
  const char* request_line;
  const char* method;
  const char* path;
  const char* query;
};

TEST(RequestHeadParsing, SplitsMethodPathAndQuery) {
  const std::string long_target = "/" + std::string(3000, 'a');
  const TargetCase cases[] = {
      {"GET /a%20b+c HTTP/1.1", "GET", "/a b c", ""},
      {"GET /a%3Fb?c=d HTTP/1.1", "GET", "/a?b", "c=d"},
      {"GET /a%2Bb HTTP/1.1", "GET", "/a+b", ""},
      {"GET /a+b HTTP/1.1", "GET", "/a b", ""},
      {"GET /x%2 HTTP/1.1", "GET", "/x%2", ""},
      {"GET /x%zz HTTP/1.1", "GET", "/x", ""},
      {"GET /", "GET", "/", ""},
      {"get   /p?q?r  HTTP/1.0 trailing words", "get", "/p", "q?r"},
      {"ABCDEFGHIJKLMNOPQRST /ignored", "ABCDEFGHIJKLMNO", "PQRST", ""},
      {"\tGET\x0B\x0C/v\x0B\x0CHTTP/1.1", "GET", "/v", ""},  // every C-locale space separates
      {"GET /__qu%69t?x=1 HTTP/1.1", "GET", "/__quit", "x=1"},
  };
  for (const auto& c : cases) {
    Parsed p;
    parse(std::string(c.request_line) + "\r\nHost: x\r\n\r\n", &p);
    ASSERT_TRUE(p.ok) << c.request_line;
    EXPECT_STREQ(p.head.method, c.method) << c.request_line;
    EXPECT_STREQ(p.head.path, c.path) << c.request_line;
    EXPECT_STREQ(p.head.query, c.query) << c.request_line;
  }
  Parsed p;
  parse("GET " + long_target + " HTTP/1.1\r\n\r\n", &p);
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(std::strlen(p.head.path), 2047u);
}

TEST(RequestHeadParsing, FailsWithoutMethodAndTarget) {
  for (const char* line : {"GET", "", "   ", "\t"}) {
    Parsed p;
    parse(std::string(line) + "\r\nHost: x\r\n\r\n", &p);
    EXPECT_FALSE(p.ok) << '"' << line << '"';
  }
}

TEST(RequestHeadParsing, CopiesHeaderBlockRangeAndBodyPrefix) {
  Parsed p;
  parse("POST /x HTTP/1.1\r\nrange: bytes=0-\r\nB: 2\r\n\r\nbody!", &p);
  ASSERT_TRUE(p.ok);
  EXPECT_STREQ(p.head.header_block.get(), "range: bytes=0-\r\nB: 2\r\n\r\n");
  EXPECT_STREQ(p.head.range, "bytes=0-");
  EXPECT_EQ(p.head.body_prefix_count, 5);
  EXPECT_EQ(std::string(p.head.body_prefix, 5), "body!");

  Parsed bare;
  parse("GET /\r\n\r\n", &bare);
  ASSERT_TRUE(bare.ok);
  EXPECT_STREQ(bare.head.header_block.get(), "\r\n");
  EXPECT_STREQ(bare.head.range, "");
  EXPECT_EQ(bare.head.body_prefix_count, 0);
}

TEST(RequestHeadParsing, RangeIsCutTo127) {
  Parsed p;
  parse("GET / HTTP/1.1\r\nRange: " + std::string(200, '7') + "\r\n\r\n", &p);
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(std::strlen(p.head.range), 127u);
}

TEST(UrlDecode, FollowsStrtolRulesForEscapes) {
  struct Case {
    std::string in, out;
  };
  const Case cases[] = {
      {"%41", "A"},        {"%4G", "\x04"},    {"%G4", ""},     {"%-1", "\xFF"},
      {"%+f", "\x0f"},     {"%", "%"},         {"%4", "%4"},    {"a%", "a%"},
      {"+", " "},          {"%2b", "+"},       {"%7e%7E", "~~"}, {"%%41", ""},
      {"abc", "abc"},      {"%00tail", ""},    {"%c3%a9", "\xc3\xa9"},
  };
  for (const auto& c : cases) {
    std::vector<char> text(c.in.begin(), c.in.end());
    text.push_back('\0');
    url_decode(text.data());
    EXPECT_EQ(std::string(text.data()), c.out) << c.in;
  }
}

TEST(UrlDecode, RunsToTheOriginalEndPastADecodedZero) {
  char text[] = "%00%41b";
  url_decode(text);
  EXPECT_EQ(text[0], '\0');
  EXPECT_EQ(text[1], 'A');
  EXPECT_EQ(text[2], 'b');
  EXPECT_EQ(text[3], '\0');
}

TEST(FindHeader, MatchesNameAndColonIgnoringCase) {
  struct Case {
    const char* block;
    const char* name;
    std::size_t capacity;
    const char* value;
  };
  const Case cases[] = {
      {"Range: bytes=0-\r\n\r\n", "Range", 128, "bytes=0-"},
      {"range:bytes=0-\r\n\r\n", "Range", 128, "bytes=0-"},
      {"Range : bytes=0-\r\n\r\n", "Range", 128, ""},
      {"X-Range: 1\r\nRange: \t 2 \r\n\r\n", "Range", 128, "2 "},
      {"Range: 1\r\nRange: 2\r\n\r\n", "Range", 128, "1"},
      {"Range:\r\n\r\n", "Range", 128, ""},
      {"Range:a\r\n\r\n", "Range", 128, "a"},
      {"Content-Type: video/mp4\r\n\r\n", "content-type", 6, "video"},
      {"Last: no line end", "Last", 64, "no line end"},
      {"Rangefoo: 1\r\n\r\n", "Range", 128, ""},
      {"\r\n", "Range", 128, ""},
  };
  for (const auto& c : cases) {
    char dest[256];
    std::memset(dest, 'x', sizeof dest);
    find_header(c.block, c.name, dest, c.capacity);
    EXPECT_STREQ(dest, c.value) << c.block;
  }
}

TEST(ContentLength, ReadsFirstValueWithSaturation) {
  struct Case {
    const char* block;
    std::int64_t value;
  };
  const Case cases[] = {
      {"\r\n", -1},
      {"Content-Length: 42\r\n\r\n", 42},
      {"content-length:  42\r\n\r\n", 42},
      {"Content-Length:\t7\r\nContent-Length: 9\r\n\r\n", 7},
      {"Content-Length: -1\r\n\r\n", -1},
      {"Content-Length: +5x\r\n\r\n", 5},
      {"Content-Length: abc\r\n\r\n", 0},
      {"Content-Length: 99999999999999999999999\r\n\r\n", INT64_MAX},
      {"Content-Length: -99999999999999999999999\r\n\r\n", INT64_MIN},
      {"Content-Length : 5\r\n\r\n", -1},
      {"Content-Length:\r\n\r\n", -1},  // shorter than 16 characters
      {"Content-Length:1\r\n\r\n", 1},
      {"X-Content-Length: 3\r\n\r\n", -1},
  };
  for (const auto& c : cases) EXPECT_EQ(content_length(c.block), c.value) << c.block;
}

TEST(RequestHeadParsing, OutstandingBodyNeverOverflows) {
  struct Case {
    const char* header;
    std::int64_t outstanding;
  };
  const Case cases[] = {
      {"", 0},
      {"Content-Length: 10\r\n", 7},
      {"Content-Length: 3\r\n", 0},
      {"Content-Length: 2\r\n", 0},
      {"Content-Length: -1\r\n", 0},
      {"Content-Length: -9223372036854775808\r\n", 0},
      {"Content-Length: 9223372036854775807\r\n", INT64_MAX - 3},
  };
  for (const auto& c : cases) {
    Parsed p;
    parse(std::string("POST /x HTTP/1.1\r\n") + c.header + "\r\nabc", &p);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(outstanding_body(p.head), c.outstanding) << c.header;
  }
}

TEST(RequestBody, ContinueOnlyWhenTheClientWaitsForBodyBytes) {
  struct Case {
    const char* header;
    bool sent;  // "100 Continue" goes out when the body is started
  };
  const Case cases[] = {
      {"Expect: 100-continue\r\nContent-Length: 10\r\n", true},
      {"expect: 100-CONTINUE \r\nContent-Length: 10\r\n", true},
      {"Content-Length: 10\r\n", false},
      {"Expect: 100-continue\r\nContent-Length: 3\r\n", false},  // all of it came with the head
      {"Expect: 100-continue\r\n", false},                         // no body
      {"Expect: 100-continued\r\nContent-Length: 10\r\n", false},
      {"Expect: something-else\r\nContent-Length: 10\r\n", false},
  };
  for (const auto& c : cases) {
    Parsed p;
    parse(std::string("POST /x HTTP/1.1\r\n") + c.header + "\r\nabc", &p);
    ASSERT_TRUE(p.ok);
    SocketCapture cap;
    EXPECT_EQ(start_body(cap.server.get(), p.head.header_block.get(), p.head.body_prefix_count), 0);
    EXPECT_EQ(cap.finish(), c.sent ? "HTTP/1.1 100 Continue\r\n\r\n" : "") << c.header;
  }
}

TEST(QueryParam, FindsFirstExactKeyAndDecodesAfterCut) {
  struct Case {
    const char* query;
    const char* name;
    std::size_t capacity;
    const char* value;
  };
  const Case cases[] = {
      {"a=1&id=5&id=6", "id", 128, "5"},
      {"ids=5", "id", 128, ""},
      {"id&x=1", "id", 128, ""},
      {"id=%41%42+c", "id", 128, "AB c"},
      {"Id=1", "id", 128, ""},
      {"id=abc%4", "id", 8, "abc%4"},
      {"id=ab%41", "id", 5, "ab%4"},
      {"id=a=b", "id", 128, "a=b"},
      {"", "id", 128, ""},
      {"&&id=z&", "id", 128, "z"},
      {"%69d=1", "id", 128, ""},
  };
  for (const auto& c : cases) {
    char dest[256];
    std::memset(dest, 'x', sizeof dest);
    query_param(c.query, c.name, dest, c.capacity);
    EXPECT_STREQ(dest, c.value) << c.query;
  }
  char dest[8] = "zz";
  query_param(nullptr, "id", dest, sizeof dest);
  EXPECT_STREQ(dest, "");
}

}  // namespace
