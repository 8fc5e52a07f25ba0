// A peer that has gone must not kill the process: Linux raises SIGPIPE on
// such a send unless told otherwise, and this test program leaves SIGPIPE at
// its default action, which ends it.
#include <gtest/gtest.h>
#include <poll.h>

#include <cstdlib>

#include "platform/files.h"
#include "platform/net.h"
#include "platform/posix/broken_pipe.h"
#include "support/loopback.h"
#include "support/temp_dir.h"

namespace {

TEST(SocketsPosix, SendToAVanishedPeerFailsWithoutSignal) {
  platform::Socket a, b;
  ASSERT_TRUE(test_support::socket_pair(&a, &b));
  b.reset();
  // The first sends may still be taken; once the peer's reset arrives a send
  // fails.
  static char block[65536];
  int rc = 0;
  for (int i = 0; i < 100 && rc >= 0; ++i) rc = platform::send_some(a.get(), block, sizeof block);
  EXPECT_LT(rc, 0);
}

// A deferred listener hands a connection out only once its first bytes are
// there: until then the listener does not even show it as ready.
TEST(SocketsPosix, DeferredAcceptWaitsForTheFirstBytes) {
  platform::Socket listener = platform::tcp_socket();
  ASSERT_TRUE(platform::defer_accept_until_data(listener, 5));
  ASSERT_TRUE(platform::bind_loopback(listener, "127.0.0.1", 0));
  ASSERT_TRUE(platform::listen_on(listener, 4));
  platform::Socket client = platform::tcp_socket();
  ASSERT_TRUE(test_support::connect_loopback(client, "127.0.0.1", test_support::local_port(listener)));
  pollfd ready{static_cast<int>(listener.get()), POLLIN, 0};
  EXPECT_EQ(::poll(&ready, 1, 300), 0);  // connected, but nothing to accept yet
  ASSERT_EQ(platform::send_some(client.get(), "G", 1), 1);
  EXPECT_EQ(::poll(&ready, 1, 5000), 1);
  platform::Socket served = platform::accept_connection(listener.get());
  ASSERT_TRUE(served.valid());
  platform::set_timeouts(served.get(), 5000, 5000);
  char byte = 0;
  EXPECT_EQ(platform::recv_some(served.get(), &byte, 1), 1);
  EXPECT_EQ(byte, 'G');
}

// Once the process ignores SIGPIPE, as the launcher does, `transmit_file`
// drops its own guard: the send that meets the closed peer must then fail
// quietly because of the process-wide setting. In a child process, so that
// this program keeps SIGPIPE at its default for the other tests.
[[noreturn]] void transmit_to_a_closed_peer_ignoring_sigpipe(const std::u16string& path) {
  if (!platform::ignore_broken_pipe_signal()) std::_Exit(2);
  platform::File file = platform::open_for_read(path);
  platform::Socket server, client;
  if (!file || !test_support::socket_pair(&server, &client)) std::_Exit(3);
  client.reset();
  // More than any socket buffer holds: some send meets the closed peer.
  std::_Exit(platform::transmit_file(server.get(), file, 0, 8 << 20) == platform::Transmit::failed ? 0 : 4);
}

TEST(SocketsPosix, TransmitWithoutItsGuardOnceTheProcessIgnoresSigpipe) {
  TempDir dir;
  TempDir::write(dir / u"big.bin", std::string(8 << 20, 'v'));
  EXPECT_EXIT(transmit_to_a_closed_peer_ignoring_sigpipe(dir / u"big.bin"), ::testing::ExitedWithCode(0), "");
}

}  // namespace
