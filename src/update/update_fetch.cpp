#include "update/update_fetch.h"

#include <cstring>
#include <string>

#include "base/event_log.h"

#include "platform/files.h"
#include "platform/https.h"
#include "platform/text.h"
#include "update/update_host.h"

bool take_body_block(FetchTarget& target, const char* data, std::size_t size) {
  target.total += size;
  if (target.total > kUpdateBodyCap) return false;
  if (target.file) {
    // Blocks are at most 16 KiB, far below what one write can take.
    std::uint32_t written = 0;
    if (!target.file->write(data, std::uint32_t(size), &written) || written != size) return false;
  }
  if (target.buffer && target.length && target.capacity > 0 && *target.length < target.capacity - 1) {
    const std::size_t room = target.capacity - 1 - *target.length;
    const std::size_t n = size < room ? size : room;
    std::memcpy(target.buffer + *target.length, data, n);
    *target.length += n;
    target.buffer[*target.length] = '\0';
  }
  return true;
}

bool fetch_update_host(std::u16string_view path, platform::File* file, char* buffer,
                       std::size_t capacity, std::size_t* length, const platform::HttpsProgress& progress) {
  FetchTarget target;
  target.file = file;
  target.buffer = buffer;
  target.capacity = capacity;
  target.length = length;
  const platform::HttpsResult result = platform::https_get(
      update_host_name(), update_host_port(), path, u"Vesklar", file ? kFileTimeouts : kBufferTimeouts,
      [&target](const char* data, std::size_t size) { return take_body_block(target, data, size); }, progress);
  // The path without its query: the query of an archive's address is the
  // update server's business, not the log's.
  if (!result.ok)
    base::log_event("update_fetch_failed", {"path=", platform::utf16_to_utf8(path.substr(0, path.find(u'?'))),
                                            " status=", std::to_string(result.status), " received=",
                                            std::to_string(target.total)});
  return result.ok;
}
