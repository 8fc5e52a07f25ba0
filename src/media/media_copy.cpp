// POST /__media-copy?fromProject=..&fromId=..&toProject=..&toId=..: copies
// one item, with its recorded content type, to another project or name.
//
// The copy lands in the target's staging file and replaces the target in one
// atomic rename, so a copy that fails half-way (a full disk) leaves the
// earlier target whole, and a playback of the target never sees it
// half-written.
#include "http/handlers.h"
#include "http/response.h"
#include "launcher/app_state.h"
#include "media/media_store.h"

namespace {

void send_missing(platform::NativeHandle socket) {
  send_response(socket, 404, "Not Found", "text/plain", "missing");
}

// The copy takes the source's content type. A source without a side file
// plays as the neutral type, so the target must not keep the type of the
// item it replaced.
void copy_content_type(const std::u16string& source_item, const std::u16string& target_item) {
  std::u16string source, target;
  if (!side_file_path(source_item, &source) || !side_file_path(target_item, &target)) return;
  if (platform::copy_file(source, target)) return;
  if (platform::file_attributes(source) == platform::kInvalidAttributes) platform::delete_file(target);
}

}  // namespace

void handle_media_copy(platform::NativeHandle socket, const char* query) {
  // Checked in this order; the first empty one decides, before anything on
  // disk is touched.
  static constexpr const char* kNames[4] = {"fromProject", "fromId", "toProject", "toId"};
  std::u16string safe[4];
  for (int i = 0; i < 4; ++i) {
    char value[kIdentifierBytes];
    query_param(query, kNames[i], value, sizeof value);
    if (!sanitize_segment(value, &safe[i])) return send_missing(socket);
  }
  std::u16string source, target_folder, target, staging;
  if (!item_file_path(safe[0], safe[1], &source)) return send_missing(socket);
  // The media folder itself is left alone: without it there is no source.
  if (project_folder_path(safe[2], &target_folder)) platform::create_folder(target_folder);
  if (!item_file_path(safe[2], safe[3], &target) || !staging_file_path(target, &staging)) {
    return send_missing(socket);
  }
  // A missing source, an upload of the target in progress (it holds the
  // staging file) or a full disk all end here; a partial copy is removed by
  // the copy itself.
  if (!platform::copy_file(source, staging)) return send_missing(socket);
  // A target open for playback cannot be replaced and stays as it is.
  if (!platform::replace_file(staging, target)) {
    platform::delete_file(staging);
    return send_missing(socket);
  }
  copy_content_type(source, target);
  send_response(socket, 200, "OK", "text/plain", "ok");
}
