// Process entry of the Linux build.
#include "launcher/launcher_main.h"
#include "platform/posix/broken_pipe.h"

int main() {
  // A browser that closes its connection early must not end the launcher:
  // writing to such a socket raises SIGPIPE, whose default action kills.
  platform::ignore_broken_pipe_signal();
  return launcher_main();
}
