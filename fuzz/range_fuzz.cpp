// resolve_range over arbitrary Range values and sizes: a granted range lies
// inside the file; anything else is the whole file.
#include <cstring>

#include "fuzz_input.h"
#include "http/byte_range.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 8) return 0;
  std::int64_t file_size;
  std::memcpy(&file_size, data, 8);
  if (file_size < 0) file_size = -(file_size + 1);
  const std::string value = fuzz_text(data + 8, size - 8, 127).c_str();  // a header value ends at NUL
  for (std::int64_t s : {file_size, file_size % 5000, std::int64_t(0), std::int64_t(1)}) {
    const RangeOutcome r = resolve_range(value.c_str(), s);
    if (r.partial) {
      FUZZ_CHECK(r.first >= 0 && r.length >= 1 && r.first <= s - r.length);
    } else {
      FUZZ_CHECK(r.first == 0 && r.length == s);
    }
  }
  return 0;
}
