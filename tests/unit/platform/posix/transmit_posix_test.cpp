// sendfile() cannot read from a pipe: the call must say "unavailable" and
// send nothing, so that the caller's copying loop takes over.
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/net.h"
#include "support/socket_capture.h"

namespace {

TEST(TransmitFilePosix, APipeIsUnavailableAndSendsNothing) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  platform::File read_end(fds[0]);
  ASSERT_EQ(::write(fds[1], "data", 4), 4);
  SocketCapture cap;
  cap.start_reading();
  EXPECT_EQ(platform::transmit_file(cap.server.get(), read_end, 0, 4), platform::Transmit::unavailable);
  EXPECT_EQ(cap.finish(), "");
  ::close(fds[1]);
}

}  // namespace
