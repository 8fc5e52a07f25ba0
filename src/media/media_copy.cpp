// POST /__media-copy?fromProject=..&fromId=..&toProject=..&toId=..: copies
// one item, with its recorded content type, to another project or name.
//
// The copy lands in the target's staging files and replaces the target in one
// atomic rename, so a copy that fails half-way (a full disk) leaves the
// earlier target whole, and a playback of the target never sees it
// half-written. The target's claim makes this copy the only writer of those
// staging files (media/item_claim.h).
#include "base/event_log.h"
#include "http/handlers.h"
#include "http/response.h"
#include "media/media_store.h"
#include "media/staged_item.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/handle.h"
#include "platform/text.h"

namespace {

void send_missing(platform::NativeHandle socket) {
  send_response(socket, 404, "Not Found", "text/plain", "missing");
}

// Stages the source's bytes and content type under a read of the source, so
// both come from the same upload of it. `has_type` is false for a source
// without a side file: it plays as the neutral type, and so must the copy.
bool stage_copy(const std::u16string& source, const StagedItem& staged, bool* has_type) {
  std::u16string source_side;
  if (!side_file_path(source, &source_side)) return false;
  SourceRead read(source);
  // A missing source or a full disk end here; a partial copy is removed by
  // the copy itself.
  if (!platform::copy_file(source, staged.staging)) return false;
  *has_type = platform::copy_file(source_side, staged.side_staging);
  if (*has_type || platform::file_attributes(source_side) == platform::kInvalidAttributes) return true;
  discard_staged(staged);
  return false;
}

}  // namespace

void handle_media_copy(const ServerContext& context, platform::NativeHandle socket, const char* query) {
  const std::u16string& media = context.folders.media;
  // Checked in this order; the first empty one decides, before anything on
  // disk is touched.
  static constexpr const char* kNames[4] = {"fromProject", "fromId", "toProject", "toId"};
  std::u16string safe[4];
  for (int i = 0; i < 4; ++i) {
    char value[kIdentifierBytes];
    query_param(query, kNames[i], value, sizeof value);
    if (!sanitize_segment(value, &safe[i])) return send_missing(socket);
  }
  std::u16string source, target_folder;
  if (!item_file_path(media, safe[0], safe[1], &source)) return send_missing(socket);
  // The media folder itself is left alone: without it there is no source.
  if (project_folder_path(media, safe[2], &target_folder)) platform::create_folder(target_folder);
  StagedItem staged;
  if (!staged_item_paths(media, safe[2], safe[3], &staged)) return send_missing(socket);
  // An upload or another copy of the target is under way and owns its
  // staging files.
  ItemClaim claim(staged.item);
  if (!claim.held()) return send_missing(socket);
  bool has_type = false;
  if (!stage_copy(source, staged, &has_type)) {
    const platform::Error cause = platform::last_error();
    base::log_failure("media_copy_failed", cause, {"route=/__media-copy from=", platform::utf16_to_utf8(safe[0]), "/",
                                                  platform::utf16_to_utf8(safe[1]), " to=",
                                                  platform::utf16_to_utf8(safe[2]), "/", platform::utf16_to_utf8(safe[3])});
    return send_missing(socket);
  }
  // A target open for playback cannot be replaced and stays as it is.
  if (commit_staged(claim, staged, has_type) != Commit::done) return send_missing(socket);
  send_response(socket, 200, "OK", "text/plain", "ok");
}
