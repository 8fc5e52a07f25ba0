// The write loop both layers share: `File::write` may take fewer bytes than
// it was given.
#include "platform/files.h"

namespace platform {

bool write_all(File& file, const void* data, std::uint32_t len) {
  const char* bytes = static_cast<const char*>(data);
  while (len > 0) {
    std::uint32_t written = 0;
    if (!file.write(bytes, len, &written) || written == 0) return false;
    bytes += written;
    len -= written;
  }
  return true;
}

}  // namespace platform
