// The body of file answers: the zero-copy road and the copying loop that
// stands in for it give the same bytes, after the same header, for whole
// files and ranges alike; a file that ends before its range stops the body
// short, with nothing in place of the missing bytes.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "http/byte_range.h"
#include "platform/files.h"
#include "platform/net.h"
#include "support/socket_capture.h"
#include "support/temp_dir.h"

namespace {

std::string sample_bytes(std::size_t size) {
  std::string s(size, '\0');
  for (std::size_t i = 0; i < size; ++i) s[i] = char((i * 7 + i / 251) & 0xFF);
  return s;
}

struct FileBody : ::testing::Test {
  TempDir dir;
  std::string content = sample_bytes(200 * 1024 + 13);
  std::u16string path = dir / u"asset.bin";
  void SetUp() override {
    ASSERT_TRUE(platform::net_startup());  // Windows Sockets, before the first socket
    TempDir::write(path, content);
  }
  void TearDown() override { platform::net_cleanup(); }
};

TEST_F(FileBody, StreamedAnswersCarryTheExactHeaderAndBytes) {
  const std::int64_t size = std::int64_t(content.size());
  struct Case {
    const char* range;
    std::string header;
    std::string body;
  };
  const Case cases[] = {
      {"",
       "HTTP/1.1 200 OK\r\nContent-Type: text/javascript\r\nContent-Length: 204813\r\n"
       "Accept-Ranges: bytes\r\nCache-Control: no-cache\r\nConnection: close\r\n"
       "Access-Control-Allow-Origin: *\r\n\r\n",
       content},
      {"bytes=70000-70009",
       "HTTP/1.1 206 Partial Content\r\nContent-Type: text/javascript\r\nContent-Length: 10\r\n"
       "Accept-Ranges: bytes\r\nContent-Range: bytes 70000-70009/204813\r\nCache-Control: no-cache\r\n"
       "Connection: close\r\nAccess-Control-Allow-Origin: *\r\n"
       "Access-Control-Expose-Headers: Content-Range, Accept-Ranges\r\n\r\n",
       content.substr(70000, 10)},
      {"bytes=204800-",
       "HTTP/1.1 206 Partial Content\r\nContent-Type: text/javascript\r\nContent-Length: 13\r\n"
       "Accept-Ranges: bytes\r\nContent-Range: bytes 204800-204812/204813\r\nCache-Control: no-cache\r\n"
       "Connection: close\r\nAccess-Control-Allow-Origin: *\r\n"
       "Access-Control-Expose-Headers: Content-Range, Accept-Ranges\r\n\r\n",
       content.substr(204800)},
  };
  for (const Case& c : cases) {
    platform::File file = platform::open_for_read(path);
    ASSERT_TRUE(file.valid());
    const RangeOutcome r = resolve_range(c.range, size);
    SocketCapture cap;
    cap.start_reading();
    EXPECT_EQ(stream_file_range(cap.server.get(), file, r.first, r.length, r.status(), r.reason(),
                                "text/javascript", size, r.partial),
              0);
    EXPECT_EQ(cap.finish(), c.header + c.body) << c.range;
  }
}

TEST_F(FileBody, CopyingLoopSendsTheSameBytesAsTheZeroCopyRoad) {
  struct Case {
    std::int64_t first, length;
  };
  const Case cases[] = {{0, 204813}, {1, 65536}, {65535, 65538}, {204812, 1}, {131072, 0}};
  for (const Case& c : cases) {
    std::string by_copy, by_kernel;
    {
      platform::File file = platform::open_for_read(path);
      SocketCapture cap;
      cap.start_reading();
      EXPECT_EQ(send_file_by_copy(cap.server.get(), file, c.first, c.length), 0);
      by_copy = cap.finish();
    }
    {
      platform::File file = platform::open_for_read(path);
      SocketCapture cap;
      cap.start_reading();
      EXPECT_EQ(platform::transmit_file(cap.server.get(), file, c.first, c.length), platform::Transmit::sent);
      by_kernel = cap.finish();
    }
    EXPECT_EQ(by_copy, content.substr(std::size_t(c.first), std::size_t(c.length))) << c.first;
    EXPECT_EQ(by_kernel, by_copy) << c.first;
  }
}

TEST_F(FileBody, AFileShorterThanItsRangeStopsTheBodyShort) {
  // The size was read as larger than the file now is (it shrank).
  for (int copy = 0; copy < 2; ++copy) {
    platform::File file = platform::open_for_read(path);
    SocketCapture cap;
    cap.start_reading();
    const int result = copy ? send_file_by_copy(cap.server.get(), file, 200000, 10000)
                            : stream_file_range(cap.server.get(), file, 200000, 10000, 206, "Partial Content",
                                                "text/javascript", 210000, true);
    EXPECT_EQ(result, -1);
    const std::string got = cap.finish();
    EXPECT_EQ(got.substr(got.size() - 4813), content.substr(200000)) << copy;
    if (copy) {
      EXPECT_EQ(got.size(), 4813u);
    }
  }
}

}  // namespace
