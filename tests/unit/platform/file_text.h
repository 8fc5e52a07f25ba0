// Reads a whole file back through the platform layer, for the platform tests.
#pragma once

#include <cstdint>
#include <string>

#include "platform/files.h"

namespace platform_test {

// The content of a file, or "<missing>" when it cannot be opened.
inline std::string read_text(const std::u16string& path) {
  platform::File f = platform::open_for_read(path);
  if (!f) return "<missing>";
  std::string out;
  char buf[4096];
  std::uint32_t got = 0;
  while (f.read(buf, sizeof buf, &got) && got > 0) out.append(buf, got);
  return out;
}

}  // namespace platform_test
