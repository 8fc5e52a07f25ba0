// DELETE /__media/<project>: removes a whole project folder. Whatever cannot
// be removed (an item being played, a read-only file) stays; the answer is
// "ok" in every case.
#include <cstring>

#include "http/handlers.h"
#include "http/response.h"
#include "media/media_store.h"
#include "media/remove_tree.h"
#include "platform/handle.h"

void handle_media_delete(const ServerContext& context, platform::NativeHandle socket, const char* path) {
  constexpr std::size_t kPrefixChars = 9;  // "/__media/"
  char project[kIdentifierBytes] = {};
  if (std::strncmp(path, "/__media/", kPrefixChars) == 0) {
    // Only the project part counts: '/__media/p/clip' removes all of 'p'.
    std::size_t n = 0;
    for (const char* p = path + kPrefixChars; *p != '\0' && *p != '/' && n < kIdentifierBytes - 1; ++p) {
      project[n++] = *p;
    }
    project[n] = '\0';
  }
  std::u16string safe, folder;
  // A safe name is never "." or "..", so the folder always lies inside the
  // media folder.
  if (sanitize_segment(project, &safe) && project_folder_path(context.folders.media, safe, &folder)) remove_tree(folder);
  send_response(socket, 200, "OK", "text/plain", "ok");
}
