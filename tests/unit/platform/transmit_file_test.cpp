// Zero-copy sending: the bytes that arrive are exactly the file's, for any
// range (beyond 4 GiB too), and a broken connection or a file that ends
// early is reported as a failure, never as success and never as a signal.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/files.h"
#include "platform/net.h"
#include "support/loopback.h"
#include "support/socket_capture.h"
#include "support/temp_dir.h"

namespace {

std::string sample_bytes(std::size_t size) {
  std::string s(size, '\0');
  std::uint32_t x = 12345;
  for (auto& c : s) {
    x = x * 1103515245u + 12345u;
    c = char(x >> 24);
  }
  return s;
}

// Windows Sockets must be started before the first socket of the program.
struct TransmitFile : ::testing::Test {
  void SetUp() override { ASSERT_TRUE(platform::net_startup()); }
  void TearDown() override { platform::net_cleanup(); }
};

TEST_F(TransmitFile, SendsExactlyTheRequestedBytes) {
  TempDir dir;
  const std::string content = sample_bytes(300 * 1024 + 7);
  TempDir::write(dir / u"data.bin", content);
  const std::int64_t size = std::int64_t(content.size());
  struct Case {
    std::int64_t offset, length;
  };
  const Case cases[] = {
      {0, size}, {0, 1}, {size - 1, 1}, {1, size - 1}, {65535, 65537}, {100000, 131072}, {4097, 3},
  };
  for (const Case& c : cases) {
    platform::File file = platform::open_for_read(dir / u"data.bin");
    ASSERT_TRUE(file.valid());
    SocketCapture cap;
    cap.start_reading();
    EXPECT_EQ(platform::transmit_file(cap.server.get(), file, c.offset, c.length), platform::Transmit::sent)
        << c.offset << "+" << c.length;
    EXPECT_EQ(cap.finish(), content.substr(std::size_t(c.offset), std::size_t(c.length))) << c.offset;
  }
}

TEST_F(TransmitFile, NothingToSendIsSuccessWithNoBytes) {
  TempDir dir;
  TempDir::write(dir / u"data.bin", "abc");
  platform::File file = platform::open_for_read(dir / u"data.bin");
  SocketCapture cap;
  cap.start_reading();
  EXPECT_EQ(platform::transmit_file(cap.server.get(), file, 1, 0), platform::Transmit::sent);
  EXPECT_EQ(cap.finish(), "");
}

TEST_F(TransmitFile, RangesBeyondFourGiBOfASparseFile) {
  TempDir dir;
  const std::int64_t far = (std::int64_t(1) << 32) + 4096 + 3;  // past every 32-bit offset
  {
    platform::File f = platform::create_always(dir / u"sparse.bin");
    ASSERT_TRUE(f.valid());
    ASSERT_TRUE(f.seek(far));
    std::uint32_t n = 0;
    ASSERT_TRUE(f.write("tail-marker", 11, &n));
    ASSERT_EQ(n, 11u);
  }
  platform::File file = platform::open_for_read(dir / u"sparse.bin");
  std::int64_t size = 0;
  ASSERT_TRUE(file.size(&size));
  ASSERT_EQ(size, far + 11);
  SocketCapture cap;
  cap.start_reading();
  // Four zero bytes of the hole, then the marker.
  EXPECT_EQ(platform::transmit_file(cap.server.get(), file, far - 4, 15), platform::Transmit::sent);
  EXPECT_EQ(cap.finish(), std::string(4, '\0') + "tail-marker");
}

TEST_F(TransmitFile, AFileThatEndsBeforeTheRangeFails) {
  TempDir dir;
  const std::string content = sample_bytes(10000);
  TempDir::write(dir / u"short.bin", content);
  platform::File file = platform::open_for_read(dir / u"short.bin");
  SocketCapture cap;
  cap.start_reading();
  EXPECT_EQ(platform::transmit_file(cap.server.get(), file, 5000, 9000), platform::Transmit::failed);
  // What there was went out; nothing stands in for the missing bytes.
  EXPECT_EQ(cap.finish(), content.substr(5000));
}

TEST_F(TransmitFile, APeerThatLeftIsAFailureNotASignal) {
  TempDir dir;
  TempDir::write(dir / u"big.bin", sample_bytes(8 << 20));
  platform::File file = platform::open_for_read(dir / u"big.bin");
  platform::Socket server, client;
  ASSERT_TRUE(test_support::socket_pair(&server, &client));
  platform::set_timeouts(server.get(), 5000, 5000);
  client.reset();
  // More than any socket buffer holds: some send must meet the closed peer.
  // Without the signal guard SIGPIPE would end this test program here.
  EXPECT_EQ(platform::transmit_file(server.get(), file, 0, 8 << 20), platform::Transmit::failed);
}

}  // namespace
