// Feeds arbitrary bytes through the head assembly and parsing path of a
// worker, then through every lookup the handlers make on a parsed head.
#include <cstdint>
#include <cstring>
#include <memory>

#include "http/listener.h"
#include "http/request_head.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::size_t taken = size < kHeadBufferBytes - 1 ? size : kHeadBufferBytes - 1;
  std::unique_ptr<char[]> buffer(new char[kHeadBufferBytes]);
  std::memcpy(buffer.get(), data, taken);
  buffer[taken] = '\0';

  const char* blank = std::strstr(buffer.get(), "\r\n\r\n");
  if (!blank) return 0;
  const auto head_length = std::int32_t(blank - buffer.get()) + 4;
  RequestHead head;
  if (!parse_request_head(buffer.get(), std::int32_t(taken), head_length, &head)) return 0;

  char value[256];
  find_header(head.header_block.get(), "Content-Type", value, 160);
  find_header(head.header_block.get(), "Host", value, sizeof value);
  (void)content_length(head.header_block.get());
  for (const char* name : {"project", "id", "mime", "fromProject", "name"}) {
    query_param(head.query, name, value, 128);
    query_param(head.query, name, value, 1);
  }
  // The body prefix must lie inside what was received.
  if (head.body_prefix_count < 0 || head.body_prefix + head.body_prefix_count > buffer.get() + taken)
    __builtin_trap();
  return 0;
}
