// The accept loop on an ephemeral port: many connections open at once are
// all served (each by a worker of its own, so none waits for another), and
// the threads that served them are reused for later connections.
#include "http/listener.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/handle.h"
#include "platform/net.h"
#include "platform/threads.h"
#include "support/loopback.h"

namespace {

struct ListenerFixture : ::testing::Test {
  // Shared with the accept loop and its workers, as the launcher does.
  std::shared_ptr<ServerContext> context = std::make_shared<ServerContext>();
  platform::Socket listener;
  platform::Thread acceptor;
  std::uint16_t port = 0;

  // Filled before the accept thread starts and from then on the thread's
  // alone: it takes its share of the context from here.
  struct AcceptArgs {
    std::shared_ptr<ServerContext> context;
    platform::NativeHandle listener;
  } accept_args;

  static void run_accept_loop(void* p) {
    auto* args = static_cast<AcceptArgs*>(p);
    accept_loop(std::move(args->context), args->listener);
  }

  void SetUp() override {
    ASSERT_TRUE(platform::net_startup());  // Windows Sockets, before the first socket
    listener = platform::tcp_socket();
    ASSERT_TRUE(listener.valid());
    ASSERT_TRUE(platform::bind_loopback(listener, "127.0.0.1", 0));
    ASSERT_TRUE(platform::listen_on(listener, 64));
    port = test_support::local_port(listener);
    accept_args = {context, listener.get()};
    acceptor = platform::start_thread(run_accept_loop, &accept_args);
    ASSERT_TRUE(acceptor.valid());
  }
  void TearDown() override {
    platform::close_listener(listener);
    EXPECT_TRUE(acceptor.wait(5000));
    platform::net_cleanup();
  }

  platform::Socket connect() {
    platform::Socket s = platform::tcp_socket();
    EXPECT_TRUE(test_support::connect_loopback(s, "127.0.0.1", port));
    platform::set_timeouts(s.get(), 10000, 10000);
    return s;
  }
};

void send_text(const platform::Socket& s, const std::string& text) {
  ASSERT_EQ(platform::send_some(s.get(), text.data(), int(text.size())), int(text.size()));
}

std::string read_to_end(const platform::Socket& s) {
  std::string all;
  char buf[4096];
  for (;;) {
    const int n = platform::recv_some(s.get(), buf, sizeof buf);
    if (n <= 0) return all;
    all.append(buf, std::size_t(n));
  }
}

bool eventually(bool (*done)(), int ms = 10000) {
  for (int i = 0; i < ms && !done(); ++i) platform::sleep_ms(1);
  return done();
}

constexpr char kAnswer204[] = "HTTP/1.1 204 No Content\r\n";

TEST_F(ListenerFixture, ManyConnectionsOpenAtOnceAreAllServed) {
  // Every connection sends half a head, so its worker waits in recv; only a
  // thread per connection lets all of them be answered below. Twice the
  // listen backlog and the parking limit.
  constexpr int kConnections = 128;
  std::vector<platform::Socket> clients;
  for (int i = 0; i < kConnections; ++i) {
    clients.push_back(connect());
    send_text(clients.back(), "OPTIONS / HTTP/1.1\r\n");
  }
  // Answered in reverse order: the last ones accepted go first.
  for (int i = kConnections - 1; i >= 0; --i) send_text(clients[std::size_t(i)], "\r\n");
  for (int i = kConnections - 1; i >= 0; --i) {
    const std::string answer = read_to_end(clients[std::size_t(i)]);
    EXPECT_EQ(answer.rfind(kAnswer204, 0), 0u) << "connection " << i << ": " << answer;
  }
}

TEST_F(ListenerFixture, ServedConnectionsLeaveThreadsThatServeTheNext) {
  // One connection first, so a thread is parked whatever ran before.
  platform::Socket first = connect();
  send_text(first, "OPTIONS / HTTP/1.1\r\n\r\n");
  EXPECT_EQ(read_to_end(first).rfind(kAnswer204, 0), 0u);
  const std::size_t started = worker_threads_started();
  for (int i = 0; i < 30; ++i) {
    ASSERT_TRUE(eventually([] { return worker_threads_parked() > 0; }));
    platform::Socket s = connect();
    send_text(s, "OPTIONS /x HTTP/1.1\r\n\r\n");
    EXPECT_EQ(read_to_end(s).rfind(kAnswer204, 0), 0u);
  }
  EXPECT_EQ(worker_threads_started(), started);
}

TEST_F(ListenerFixture, AConnectionKeepsTheContextUntilItsWorkerIsDone) {
  // A worker still serving after the accept loop has ended and the launcher
  // has let go of the context (a slow download at quit) must still have it.
  const std::weak_ptr<ServerContext> watch = context;
  platform::Socket client = connect();
  send_text(client, "OPTIONS / HTTP/1.1\r\n");  // half a head: its worker waits for the rest
  // Handed to a worker: the fixture, the accept loop and the connection.
  for (int i = 0; i < 10000 && watch.use_count() < 3; ++i) platform::sleep_ms(1);
  ASSERT_EQ(watch.use_count(), 3);
  platform::close_listener(listener);
  ASSERT_TRUE(acceptor.wait(5000));
  context.reset();
  EXPECT_FALSE(watch.expired());
  send_text(client, "\r\n");
  EXPECT_EQ(read_to_end(client).rfind(kAnswer204, 0), 0u);
  for (int i = 0; i < 10000 && !watch.expired(); ++i) platform::sleep_ms(1);
  EXPECT_TRUE(watch.expired());
}

TEST_F(ListenerFixture, AtTheEndAcceptingStopsAndNoIdleThreadIsLeft) {
  // Connections served at once leave threads parked, waiting to accept.
  std::vector<platform::Socket> clients;
  for (int i = 0; i < 4; ++i) {
    clients.push_back(connect());
    send_text(clients.back(), "OPTIONS / HTTP/1.1\r\n\r\n");
  }
  for (const platform::Socket& c : clients) EXPECT_EQ(read_to_end(c).rfind(kAnswer204, 0), 0u);
  ASSERT_TRUE(eventually([] { return worker_threads_parked() > 0; }));
  // As the launcher ends: it waits 2 s for the accept loop, and then no
  // thread may be left, neither parked nor the one that was accepting.
  context->lifecycle.running.store(false);
  platform::close_listener(listener);
  ASSERT_TRUE(acceptor.wait(2000));
  EXPECT_EQ(worker_threads_parked(), 0u);
  EXPECT_EQ(worker_threads_live(), 0u);
}

}  // namespace
