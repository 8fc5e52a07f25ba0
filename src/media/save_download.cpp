// POST /__save?name=..: writes the body into the Downloads folder under the
// cleaned name, or the first free numbered name, and never over a file that
// is there: the file is created only if nothing exists at its path.
#include "base/bounded_format.h"
#include "http/handlers.h"
#include "launcher/app_state.h"
#include "media/body_writer.h"
#include "media/export_name.h"
#include "media/media_answers.h"

namespace {

bool exists(const std::u16string& path) {
  return platform::file_attributes(path) != platform::kInvalidAttributes;  // a folder counts too
}

// Tries the name, then its numbered names 2 to 199. The existence test only
// skips names known to be taken; "create new" is what decides, so a file
// that appears in between (another save, another program) is passed over
// instead of destroyed. False when every name is taken, a path does not fit
// or the disk refuses.
bool create_export_file(const std::u16string& name, platform::File* file, std::u16string* path) {
  for (int n = kFirstNumber - 1; n <= kLastNumber; ++n) {
    const std::u16string candidate = n < kFirstNumber ? name : numbered_name(name, n);
    if (!base::join_bounded(*path, platform::kMaxPathChars, {g_app.downloads_folder, u"\\", candidate})) {
      return false;
    }
    if (exists(*path)) continue;
    *file = platform::create_new(*path);
    if (*file) return true;
    if (!exists(*path)) return false;  // not taken, just refused
  }
  return false;
}

}  // namespace

void handle_save(platform::NativeHandle socket, const char* query, const char* header_block,
                 const char* body_prefix, std::int32_t body_prefix_count) {
  char name[kNameParamBytes];
  query_param(query, "name", name, sizeof name);
  const std::u16string export_name = export_name_for(name);
  // A folder that cannot be made shows up as a file that cannot be created.
  platform::create_folder(g_app.downloads_folder);
  platform::File file;
  std::u16string path;
  if (!create_export_file(export_name, &file, &path)) return send_disk_error(socket);

  const std::int64_t length = content_length(header_block);
  if (length < 0) {
    file.close();
    platform::delete_file(path);
    return send_length_required(socket);
  }
  if (!store_body(socket, file, header_block, body_prefix, body_prefix_count, length)) {
    // The file is ours alone (created new, no sharing): removing it cannot
    // touch anyone else's.
    file.close();
    platform::delete_file(path);
    return;
  }
  file.close();
  send_stored_ok(socket);
}
