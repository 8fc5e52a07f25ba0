#include <cstring>
#include <string>

#include "base/bounded_format.h"
#include "http/byte_range.h"
#include "http/content_types.h"
#include "http/handlers.h"
#include "http/page.h"
#include "http/response.h"
#include "http/static_path.h"
#include "platform/files.h"
#include "platform/handle.h"
#include "platform/text.h"

void send_not_implemented(platform::NativeHandle socket) {
  send_response(socket, 501, "Not Implemented", "text/plain", "later");
}

namespace {

void send_bad_path(platform::NativeHandle socket) {
  send_response(socket, 400, "Bad Request", "text/plain", "bad path");
}

void send_not_found(platform::NativeHandle socket) {
  send_response(socket, 404, "Not Found", "text/plain; charset=utf-8", "Not Found");
}

// The last path component is "index.html", in any letter case.
bool names_index_page(const std::u16string& path) {
  const auto slash = path.rfind(u'\\');
  const std::u16string_view last = std::u16string_view(path).substr(slash == std::u16string::npos ? 0 : slash + 1);
  return base::ascii_iequal(last, u"index.html");
}

void serve_file(platform::NativeHandle socket, const std::u16string& path, const char* range,
                bool head_only) {
  platform::File file = platform::open_for_read(path);
  // Only disk files are served: a device, pipe or console is not a file of
  // the site even when a name leads to it.
  if (!file || !file.is_regular()) return send_not_found(socket);
  std::int64_t size = 0;
  if (!file.size(&size) || size < 0) {
    file.close();
    send_response(socket, 500, "Error", "text/plain", "size");
    return;
  }
  const RangeOutcome outcome = resolve_range(range, size);
  const char* type = content_type_for_path(path);
  if (head_only) {
    file.close();
    send_file_head(socket, HeadForm::static_site, outcome, type);
    return;
  }
  stream_file_range(socket, file, outcome.first, outcome.length, outcome.status(), outcome.reason(), type,
                    size, outcome.partial);
}

}  // namespace

void serve_static(const ServerContext& context, platform::NativeHandle socket, const char* path, const char* range,
                  bool head_only) {
  const bool root = path[0] == '\0' || std::strcmp(path, "/") == 0;
  std::u16string joined;
  std::uint32_t attributes = platform::kInvalidAttributes;
  switch (map_site_path(root ? "/index.html" : path, context.folders.site, &joined)) {
    case SitePath::bad: return send_bad_path(socket);
    case SitePath::missing: break;
    case SitePath::ok: attributes = platform::file_attributes(joined); break;
  }
  // A missing path reads as all bits set, so it takes the folder branch.
  if (attributes & platform::kAttrDirectory) {
    if (is_asset_path(joined)) return send_not_found(socket);
    // Client-side routes and folders get the site's own page.
    std::u16string page;
    base::join_bounded(page, platform::kMaxPathChars, {context.folders.site, u"\\index.html"});
    return serve_page(socket, page, context.bootstrap_script, head_only);
  }
  if (root || names_index_page(joined)) return serve_page(socket, joined, context.bootstrap_script, head_only);
  serve_file(socket, joined, range, head_only);
}
