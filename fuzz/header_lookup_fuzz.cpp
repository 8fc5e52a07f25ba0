// Header and query lookups straight on arbitrary text (no request line
// needed): values stay within their capacity and are 0-terminated, and a
// query value decodes to no more than its raw bytes.
#include <cstring>

#include "fuzz_input.h"
#include "http/request_head.h"

namespace {
constexpr std::size_t kTextLimit = 8192;
constexpr std::size_t kCanary = 8;

// Fills a buffer with a marker beyond `capacity`, so a write past the end
// shows even without a sanitizer.
template <std::size_t N>
void check_bounded(char (&dest)[N], std::size_t capacity) {
  FUZZ_CHECK(std::memchr(dest, '\0', capacity) != nullptr);
  for (std::size_t i = capacity; i < N; ++i) FUZZ_CHECK(dest[i] == '\x7f');
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte picks the capacity, the rest is the text.
  const std::size_t capacity = 1 + data[0] % 200;
  const std::string text = fuzz_text(data + 1, size - 1, kTextLimit);
  char dest[200 + kCanary];

  for (const char* name : {"Host", "Origin", "Sec-Fetch-Site", "Content-Type", "Range", "Content-Length"}) {
    std::memset(dest, '\x7f', sizeof dest);
    find_header(text.c_str(), name, dest, capacity);
    check_bounded(dest, capacity);
  }
  // Saturating parse of any digits: the sanitizers watch for overflow.
  (void)content_length(text.c_str());

  for (const char* name : {"project", "id", "mime", "name"}) {
    std::memset(dest, '\x7f', sizeof dest);
    query_param(text.c_str(), name, dest, capacity);
    check_bounded(dest, capacity);
  }
  return 0;
}
