#include "http/lingering_close.h"
#include "platform/handle.h"
#include "platform/net.h"
#include "platform/threads.h"

bool client_may_still_send(platform::NativeHandle socket, const RequestHead& head) {
  if (outstanding_body(head) > 0) return true;
  char coding[2];  // only whether there is a value
  find_header(head.header_block.get(), "Transfer-Encoding", coding, sizeof coding);
  return coding[0] != '\0' || platform::receive_pending(socket);
}

void linger_before_close(platform::NativeHandle socket) {
  if (!platform::shutdown_send(socket)) return;
  platform::set_timeouts(socket, kLingerQuietMs, kLingerQuietMs);
  const std::uint32_t start = platform::tick_ms();
  char block[kLingerBlockBytes];
  std::int64_t dropped = 0;
  while (dropped < kLingerMaxBytes && platform::tick_ms() - start < kLingerMs) {
    const int n = platform::recv_some(socket, block, int(sizeof block));
    if (n <= 0) return;  // the client closed, went quiet, or is gone
    dropped += n;
  }
}
