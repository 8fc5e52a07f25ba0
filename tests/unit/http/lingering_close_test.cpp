// The end of a connection whose body may still be coming: which requests
// leave the client sending, and that lingering lets a client that sends its
// whole body before reading get every byte of an answer given at once.
#include "http/lingering_close.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/net.h"
#include "platform/threads.h"
#include "support/loopback.h"

namespace {

struct Connection : ::testing::Test {
  platform::Socket server, client;
  void SetUp() override {
    ASSERT_TRUE(platform::net_startup());  // Windows Sockets, before the first socket
    ASSERT_TRUE(test_support::socket_pair(&server, &client));
    platform::set_timeouts(server.get(), 10000, 10000);
    platform::set_timeouts(client.get(), 10000, 10000);
  }
  void TearDown() override {
    server.reset();
    client.reset();
    platform::net_cleanup();
  }
};

// Parses `raw` the way a worker does: the head ends after the first blank line.
struct Parsed {
  std::vector<char> buffer;
  RequestHead head;
  explicit Parsed(const std::string& raw) : buffer(raw.begin(), raw.end()) {
    buffer.push_back('\0');
    const auto head_length = std::int32_t(std::strstr(buffer.data(), "\r\n\r\n") - buffer.data()) + 4;
    EXPECT_TRUE(parse_request_head(buffer.data(), std::int32_t(raw.size()), head_length, &head));
  }
};

TEST_F(Connection, ClientMayStillSendWhenBodyBytesAreOwedOrWaiting) {
  struct Case {
    const char* request;  // head and the body bytes that came with it
    const char* sent_later;
    bool may_send;
  };
  const Case cases[] = {
      {"GET / HTTP/1.1\r\n\r\n", "", false},
      {"POST /x HTTP/1.1\r\nContent-Length: 4\r\n\r\nbody", "", false},          // all came with the head
      {"POST /x HTTP/1.1\r\nContent-Length: 0\r\n\r\n", "", false},
      {"POST /x HTTP/1.1\r\nContent-Length: 10\r\n\r\nbody", "", true},          // six bytes owed
      {"POST /x HTTP/1.1\r\ncontent-length: 99999999999\r\n\r\n", "", true},
      {"POST /x HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", "", true},      // a length not given
      {"POST /x HTTP/1.1\r\n\r\n", "unannounced", true},                           // bytes waiting now
      {"GET / HTTP/1.1\r\n\r\n", "GET /again HTTP/1.1\r\n\r\n", true},
  };
  for (const Case& c : cases) {
    platform::Socket s, peer;
    ASSERT_TRUE(test_support::socket_pair(&s, &peer));
    const std::string later = c.sent_later;
    if (!later.empty()) {
      ASSERT_EQ(platform::send_some(peer.get(), later.data(), int(later.size())), int(later.size()));
      // Until the bytes are there to be seen.
      for (int i = 0; i < 500 && !platform::receive_pending(s.get()); ++i) platform::sleep_ms(2);
    }
    const Parsed p(c.request);
    EXPECT_EQ(client_may_still_send(s.get(), p.head), c.may_send) << c.request << later;
  }
}

TEST_F(Connection, AClientSendingItsWholeBodyFirstReadsTheEarlyAnswer) {
  // More than the socket buffers hold on either side: without lingering,
  // the close would meet unread bytes and reset the connection.
  constexpr std::size_t kBody = 16 << 20;
  const std::string answer = "HTTP/1.1 500 Error\r\nContent-Length: 4\r\n\r\ndisk";
  bool all_sent = false;
  std::string received;
  std::thread browser([&] {
    const std::string piece(65536, 'u');
    std::size_t sent = 0;
    while (sent < kBody) {
      const int n = platform::send_some(client.get(), piece.data(), int(piece.size()));
      if (n <= 0) return;
      sent += std::size_t(n);
    }
    all_sent = true;
    char buf[4096];
    for (int n; (n = platform::recv_some(client.get(), buf, sizeof buf)) > 0;) received.append(buf, std::size_t(n));
    client.reset();  // as a browser does once the answer has ended
  });
  ASSERT_EQ(platform::send_some(server.get(), answer.data(), int(answer.size())), int(answer.size()));
  linger_before_close(server.get());
  server.reset();
  browser.join();
  EXPECT_TRUE(all_sent);
  EXPECT_EQ(received, answer);
}

}  // namespace
