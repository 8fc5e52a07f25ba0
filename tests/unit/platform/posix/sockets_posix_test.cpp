// A peer that has gone must not kill the process: Linux raises SIGPIPE on
// such a send unless told otherwise, and this test program leaves SIGPIPE at
// its default action, which ends it.
#include <gtest/gtest.h>

#include "platform/net.h"
#include "support/loopback.h"

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

}  // namespace
