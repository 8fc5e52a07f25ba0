// A peer that has gone must not kill the process: Linux raises SIGPIPE on
// such a send unless told otherwise, and this test program leaves SIGPIPE at
// its default action, which ends it.
#include <gtest/gtest.h>

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
