#include "media/body_writer.h"

#include "http/request_head.h"
#include "platform/files.h"
#include "platform/handle.h"
#include "platform/net.h"

bool store_body(platform::NativeHandle socket, platform::File& file, const char* header_block,
                const char* prefix, std::int32_t prefix_count, std::int64_t length) {
  if (start_body(socket, header_block, prefix_count) != 0) return false;
  // Prefix bytes beyond the stated length belong to nobody: they are dropped.
  std::int64_t from_prefix = prefix_count > 0 ? prefix_count : 0;
  if (from_prefix > length) from_prefix = length;
  if (from_prefix > 0 && !platform::write_all(file, prefix, std::uint32_t(from_prefix))) return false;

  std::int64_t remaining = length - from_prefix;
  // On the worker's stack: no heap per request, and memory stays flat
  // whatever the body's size.
  char buffer[kBodyBufferBytes];
  while (remaining > 0) {
    const int want = remaining < std::int64_t(kBodyBufferBytes) ? int(remaining) : int(kBodyBufferBytes);
    const int got = platform::recv_some(socket, buffer, want);
    if (got <= 0) return false;
    if (!platform::write_all(file, buffer, std::uint32_t(got))) return false;
    remaining -= got;
  }
  return true;
}
