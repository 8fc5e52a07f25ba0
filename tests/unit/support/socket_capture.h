// A loopback connection for handler tests: the handler writes on `server`
// while a reader thread collects every byte the client end receives, so a
// large answer never blocks on a full socket buffer.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "platform/net.h"
#include "support/loopback.h"

struct SocketCapture {
  platform::Socket server, client;

  SocketCapture() { EXPECT_TRUE(test_support::socket_pair(&server, &client)); }
  ~SocketCapture() {
    if (reader_.joinable()) reader_.join();
  }

  // Sends request bytes from the client; call before the handler runs.
  void send_from_client(const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
      const int n = platform::send_some(client.get(), bytes.data() + sent, int(bytes.size() - sent));
      ASSERT_GT(n, 0);
      sent += std::size_t(n);
    }
  }

  // Starts collecting the answer; called by the handler-running helpers.
  void start_reading() {
    reader_ = std::thread([this] {
      char buf[65536];
      for (;;) {
        const int n = platform::recv_some(client.get(), buf, sizeof buf);
        if (n <= 0) break;
        received_.append(buf, std::size_t(n));
      }
    });
  }

  // Closes the server end and returns everything the client received.
  std::string finish() {
    if (!reader_.joinable()) start_reading();
    server.reset();
    reader_.join();
    return received_;
  }

 private:
  std::thread reader_;
  std::string received_;
};
