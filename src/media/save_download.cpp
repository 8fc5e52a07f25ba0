// POST /__save?name=..: writes the body into the Downloads folder under the
// cleaned name, or the first free numbered name, and never over a file that
// is there.
//
// The body goes into a part file first (media/export_part.h): a launcher
// killed half-way, or a machine that loses power, leaves a file that no one
// takes for a finished export, and the next start removes it. The part file
// gets its final name only when every byte is on disk, by a move that never
// replaces a file.
#include "base/bounded_format.h"
#include "base/event_log.h"
#include "http/handlers.h"
#include "media/body_writer.h"
#include "media/export_name.h"
#include "media/export_part.h"
#include "media/media_answers.h"
#include "platform/files.h"
#include "platform/handle.h"
#include "platform/text.h"

namespace {

bool exists(const std::u16string& path) {
  return platform::file_attributes(path) != platform::kInvalidAttributes;  // a folder counts too
}

// The export name for n = 1, then its numbered names 2 to 199, as full
// paths in `folder`. False when the path does not fit.
bool candidate_path(const std::u16string& folder, const std::u16string& name, int n, std::u16string* path) {
  const std::u16string candidate = n < kFirstNumber ? name : numbered_name(name, n);
  return base::join_bounded(*path, platform::kMaxPathChars, {folder, u"\\", candidate});
}

// Creates the part file beside the first name that is free and has no save
// of its own under way. The existence tests only skip names known to be
// taken; "create new" is what decides, so a part file that appears in
// between (another save of the same name) is passed over instead of
// destroyed. False when every name is taken, a path does not fit or the disk
// refuses.
bool create_part_file(const std::u16string& folder, const std::u16string& name, platform::File* file,
                      std::u16string* part) {
  for (int n = kFirstNumber - 1; n <= kLastNumber; ++n) {
    std::u16string path;
    if (!candidate_path(folder, name, n, &path) ||
        !base::join_bounded(*part, platform::kMaxPathChars, {path, kPartSuffix})) {
      return false;
    }
    if (exists(path) || exists(*part)) continue;
    *file = platform::create_new(*part);
    if (*file) {
      // Out of sight in Explorer; only looks, so a failure is no failure.
      platform::set_hidden(*part, true);
      return true;
    }
    // Taken by another save of the same name: its part file is still there,
    // or (a rename is atomic, so asked in this order) it already carries
    // the final name. Neither: not taken, just refused.
    if (!exists(*part) && !exists(path)) return false;
  }
  return false;
}

// Gives the complete part file the first name that is free now: the one it
// was made for, or, when another file took that name meanwhile, the next
// free one in the same numbering. The move fails on an existing target, so
// no file is ever replaced.
bool give_final_name(const std::u16string& folder, const std::u16string& name, const std::u16string& part) {
  if (!platform::set_hidden(part, false)) return false;
  for (int n = kFirstNumber - 1; n <= kLastNumber; ++n) {
    std::u16string path;
    if (!candidate_path(folder, name, n, &path)) return false;
    if (exists(path)) continue;
    if (platform::move_file(part, path)) return true;
    if (!exists(path)) return false;  // not taken, just refused
  }
  return false;
}

}  // namespace

void handle_save(const ServerContext& context, platform::NativeHandle socket, const char* query,
                 const char* header_block, const char* body_prefix, std::int32_t body_prefix_count) {
  const std::u16string& downloads = context.folders.downloads;
  char name[kNameParamBytes];
  query_param(query, "name", name, sizeof name);
  const std::u16string export_name = keep_off_part_names(export_name_for(name));
  // A folder that cannot be made shows up as a file that cannot be created.
  platform::create_folder(downloads);
  platform::File file;
  std::u16string part;
  const bool created = create_part_file(downloads, export_name, &file, &part);
  if (!created) base::log_os_failure("media_disk_failed", {"route=/__save step=create"});
  if (!created) return send_disk_error(socket);

  const std::int64_t length = content_length(header_block);
  if (length < 0) {
    file.close();
    platform::delete_file(part);
    return send_length_required(socket);
  }
  // The part file is ours alone (created new, no sharing): removing it
  // cannot touch anyone else's.
  if (!store_body(socket, file, header_block, body_prefix, body_prefix_count, length)) {
    file.close();
    platform::delete_file(part);
    return;
  }
  const bool on_disk = file.flush();
  file.close();
  if (!on_disk || !give_final_name(downloads, export_name, part)) {
    base::log_os_failure("media_disk_failed", {"route=/__save step=finish"});
    platform::delete_file(part);
    return send_disk_error(socket);
  }
  send_stored_ok(socket);
}
