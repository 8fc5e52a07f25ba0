// POST /__media?project=..&id=..&mime=..: stores the body as one item.
//
// The body goes into a staging file beside the item and replaces the item in
// one atomic rename only once every byte is on disk. So an upload that breaks
// off, or a replacement that fails, leaves the earlier item and its side file
// exactly as they were, and a playback never finds the item missing.
#include <cstring>

#include "http/handlers.h"
#include "http/response.h"
#include "launcher/app_state.h"
#include "media/body_writer.h"
#include "media/media_answers.h"
#include "media/media_store.h"

namespace {

// The body is read and thrown away first, so that the client, still
// sending, gets to read the answer; a client that waits for "100 Continue"
// before sending gets the answer at once instead, and sends nothing.
void answer_bad_id(platform::NativeHandle socket, const char* header_block, std::int32_t prefix_count) {
  const std::int64_t length = content_length(header_block);
  if (length > prefix_count && !expects_continue(header_block)) drain_body(socket, length - prefix_count);
  send_response(socket, 400, "Bad Request", "text/plain", "bad-id");
}

// "mime" wins, then the request's Content-Type, then the neutral type. The
// text is kept as sent; playback cuts it at the first line end, so it can
// never add a header line of its own.
void choose_content_type(const char* query, const char* header_block, char (&type)[kMimeBytes]) {
  query_param(query, "mime", type, sizeof type);
  if (type[0] == '\0') find_header(header_block, "Content-Type", type, sizeof type);
  if (type[0] == '\0') std::memcpy(type, kDefaultMime, sizeof kDefaultMime);
}

// A side file that cannot be written leaves the earlier one in place; the
// item is stored either way. The type is written under the staging name
// (free again once the item has moved) and moved over the side file only
// when complete, so a full disk never leaves a type cut short.
void record_content_type(const std::u16string& item, const std::u16string& staging, const char* type) {
  std::u16string side;
  if (!side_file_path(item, &side)) return;
  platform::File file = platform::create_always(staging);
  if (!file) return;
  const bool written = write_all(file, type, std::uint32_t(std::strlen(type)));
  file.close();
  if (!written || !platform::replace_file(staging, side)) platform::delete_file(staging);
}

}  // namespace

void handle_media_upload(platform::NativeHandle socket, const char* query, const char* header_block,
                         const char* body_prefix, std::int32_t body_prefix_count) {
  char project[kIdentifierBytes];
  char id[kIdentifierBytes];
  query_param(query, "project", project, sizeof project);
  query_param(query, "id", id, sizeof id);
  std::u16string safe_project, safe_id;
  if (!sanitize_segment(project, &safe_project) || !sanitize_segment(id, &safe_id)) {
    return answer_bad_id(socket, header_block, body_prefix_count);
  }
  char type[kMimeBytes];
  choose_content_type(query, header_block, type);

  // A folder that cannot be made shows up as a staging file that cannot be
  // created.
  platform::create_folder(g_app.media_folder);
  std::u16string folder, item, staging;
  if (project_folder_path(safe_project, &folder)) platform::create_folder(folder);
  if (!item_file_path(safe_project, safe_id, &item) || !staging_file_path(item, &staging)) {
    return send_disk_error(socket);
  }
  // No sharing: a second upload of the same item cannot get at it while
  // this one writes.
  platform::File file = platform::create_always(staging);
  if (!file) return send_disk_error(socket);

  const std::int64_t length = content_length(header_block);
  if (length < 0) {
    file.close();
    platform::delete_file(staging);
    return send_length_required(socket);
  }
  if (!store_body(socket, file, header_block, body_prefix, body_prefix_count, length)) {
    // The client is gone or the disk refused: no answer, nothing left over.
    file.close();
    platform::delete_file(staging);
    return;
  }
  file.close();
  // One step: the old item stays whole until the new one is complete. An
  // item open for playback cannot be replaced, and then stays as it is.
  if (!platform::replace_file(staging, item)) {
    platform::delete_file(staging);
    send_response(socket, 500, "Error", "text/plain", "move");
    return;
  }
  record_content_type(item, staging, type);
  send_stored_ok(socket);
}
