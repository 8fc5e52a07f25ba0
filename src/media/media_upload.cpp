// POST /__media?project=..&id=..&mime=..: stores the body as one item.
//
// The body and the type go into staging files beside the item, which replace
// the item and its side file only once every byte is on disk, the item in one
// atomic rename. So an upload that breaks off, or a replacement that fails,
// leaves the earlier item and its side file exactly as they were, and a
// playback never finds the item missing. The item's claim makes this upload
// the only writer of those staging files (media/item_claim.h).
#include <cstring>

#include "base/event_log.h"
#include "http/handlers.h"
#include "http/response.h"
#include "media/body_writer.h"
#include "media/media_answers.h"
#include "media/media_store.h"
#include "media/staged_item.h"
#include "platform/files.h"
#include "platform/handle.h"

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

// The type goes into its own staging file before the body is read, so the
// item never gets new bytes without the type that came with them.
bool stage_content_type(const std::u16string& side_staging, const char* type) {
  platform::File file = platform::create_always(side_staging);
  return file && platform::write_all(file, type, std::uint32_t(std::strlen(type)));
}

}  // namespace

void handle_media_upload(const ServerContext& context, platform::NativeHandle socket, const char* query,
                         const char* header_block, const char* body_prefix, std::int32_t body_prefix_count) {
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
  const std::u16string& media = context.folders.media;
  platform::create_folder(media);
  std::u16string folder;
  if (project_folder_path(media, safe_project, &folder)) platform::create_folder(folder);
  StagedItem staged;
  if (!staged_item_paths(media, safe_project, safe_id, &staged)) return send_disk_error(socket);
  // Another upload or copy of this item is under way: it owns the staging
  // files until its item and type are in place.
  ItemClaim claim(staged.item);
  if (!claim.held()) return send_disk_error(socket);
  // No sharing: nothing else can get at the staging files while this one
  // writes them.
  platform::File file = platform::create_always(staged.staging);
  if (!file) base::log_os_failure("media_disk_failed", {"route=/__media step=stage project=", project, " id=", id});
  if (!file) return send_disk_error(socket);
  if (!stage_content_type(staged.side_staging, type)) {
    base::log_os_failure("media_disk_failed", {"route=/__media step=type project=", project, " id=", id});
    file.close();
    discard_staged(staged);
    return send_disk_error(socket);
  }

  const std::int64_t length = content_length(header_block);
  if (length < 0) {
    file.close();
    discard_staged(staged);
    return send_length_required(socket);
  }
  if (!store_body(socket, file, header_block, body_prefix, body_prefix_count, length)) {
    // The client is gone or the disk refused: no answer, nothing left over.
    file.close();
    discard_staged(staged);
    return;
  }
  file.close();
  // An item open for playback cannot be replaced, and then stays as it is,
  // with its type.
  if (commit_staged(claim, staged, /*has_type=*/true) != Commit::done) {
    base::log_os_failure("media_disk_failed", {"route=/__media step=commit project=", project, " id=", id});
    send_response(socket, 500, "Error", "text/plain", "move");
    return;
  }
  send_stored_ok(socket);
}
