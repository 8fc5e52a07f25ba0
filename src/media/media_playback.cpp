// GET / HEAD /__media/<project>/<id>: plays a stored item with byte ranges,
// under the content type recorded at upload.
#include <cstring>

#include "http/byte_range.h"
#include "http/handlers.h"
#include "http/response.h"
#include "media/media_store.h"
#include "platform/files.h"
#include "platform/handle.h"

namespace {

constexpr std::size_t kPrefixChars = 9;  // "/__media/"

void send_not_found(platform::NativeHandle socket) {
  send_response(socket, 404, "Not Found", "text/plain", "Not Found");
}

// The recorded type, cut at the first line end, or the neutral type when the
// item has no side file. A side file that is empty or starts with a line end
// gives an empty type, as recorded.
void read_content_type(const std::u16string& item, char (&type)[kMimeBytes]) {
  std::memcpy(type, kDefaultMime, sizeof kDefaultMime);
  std::u16string side;
  if (!side_file_path(item, &side)) return;
  platform::File file = platform::open_for_read(side);
  if (!file) return;
  std::uint32_t have = 0;
  while (have < kMimeBytes - 1) {
    std::uint32_t got = 0;
    if (!file.read(type + have, std::uint32_t(kMimeBytes - 1) - have, &got) || got == 0) break;
    have += got;
  }
  type[have] = '\0';
  type[std::strcspn(type, "\r\n")] = '\0';
}

}  // namespace

void serve_media(const ServerContext& context, platform::NativeHandle socket, const char* path, const char* range,
                 bool head_only) {
  if (std::strncmp(path, "/__media/", kPrefixChars) != 0) return send_not_found(socket);
  const char* rest = path + kPrefixChars;
  const char* slash = std::strchr(rest, '/');
  if (slash == nullptr || slash[1] == '\0') return send_not_found(socket);

  const std::size_t project_bytes = std::size_t(slash - rest);
  if (project_bytes == 0 || project_bytes >= kIdentifierBytes) {
    send_response(socket, 400, "Bad Request", "text/plain", "bad");
    return;
  }
  char project[kIdentifierBytes];
  std::memcpy(project, rest, project_bytes);
  project[project_bytes] = '\0';
  // The media part may hold more '/' (they become '_'); a '?' only arrives
  // here percent-encoded and ends it.
  char media[kIdentifierBytes];
  std::size_t media_bytes = 0;
  for (const char* p = slash + 1; *p != '\0' && *p != '?' && media_bytes < kIdentifierBytes - 1; ++p) {
    media[media_bytes++] = *p;
  }
  media[media_bytes] = '\0';
  // The page percent-encodes identifiers into the path, and the worker has
  // decoded the path once already: this second pass is the page's own.
  url_decode(project);
  url_decode(media);

  std::u16string safe_project, safe_id, item;
  if (!sanitize_segment(project, &safe_project) || !sanitize_segment(media, &safe_id) ||
      !item_file_path(context.folders.media, safe_project, safe_id, &item)) {
    return send_not_found(socket);
  }
  // Read sharing only: while this plays, the item cannot be replaced or
  // removed under it.
  platform::FileFacts facts;
  platform::File file = platform::open_for_read(item, nullptr, &facts);
  // Only a regular disk file is served; a device or pipe placed under the
  // media folder is answered like a missing item.
  if (!file || !facts.regular) return send_not_found(socket);
  char type[kMimeBytes];
  read_content_type(item, type);
  const std::int64_t size = facts.size;
  if (size < 0) {
    // Without a size there is no honest Content-Length to send.
    file.close();
    send_response(socket, 500, "Error", "text/plain", "size");
    return;
  }
  const RangeOutcome outcome = resolve_range(range, size);
  if (head_only) {
    file.close();
    send_file_head(socket, HeadForm::media, outcome, type);
    return;
  }
  stream_file_range(socket, file, outcome.first, outcome.length, outcome.status(), outcome.reason(), type,
                    size, outcome.partial);
}
