// Process entry of the Linux build.
#include <signal.h>

#include "launcher/launcher_main.h"

int main() {
  // A browser that closes its connection early must not end the launcher:
  // writing to such a socket raises SIGPIPE, whose default action kills.
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, nullptr);
  return launcher_main();
}
