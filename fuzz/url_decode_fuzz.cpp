// url_decode never grows its text and always terminates it.
#include <cstring>
#include <vector>

#include "fuzz_input.h"
#include "http/request_head.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<char> text(data, data + size);
  text.push_back('\0');
  const std::size_t before = std::strlen(text.data());
  url_decode(text.data());
  FUZZ_CHECK(std::strlen(text.data()) <= before);
  return 0;
}
