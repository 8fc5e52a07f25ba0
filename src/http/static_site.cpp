#include <cstring>
#include <string>
#include <string_view>

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
bool names_index_page(std::string_view relative) {
  const auto slash = relative.rfind('\\');
  return base::ascii_iequal(relative.substr(slash == std::string_view::npos ? 0 : slash + 1), "index.html");
}

void serve_file(platform::NativeHandle socket, platform::File& file, const platform::FileFacts& facts,
                std::string_view relative, const char* range, bool head_only) {
  // Only disk files are served: a device, pipe or console is not a file of
  // the site even when a name leads to it.
  if (!facts.regular) return send_not_found(socket);
  const std::int64_t size = facts.size;
  if (size < 0) {
    file.close();
    send_response(socket, 500, "Error", "text/plain", "size");
    return;
  }
  const RangeOutcome outcome = resolve_range(range, size);
  const char* type = content_type_for_path(relative);
  if (head_only) {
    file.close();
    send_file_head(socket, HeadForm::static_site, outcome, type);
    return;
  }
  stream_file_range(socket, file, outcome.first, outcome.length, outcome.status(), outcome.reason(), type,
                    size, outcome.partial);
}

// Client-side routes and folders get the site's own page.
void serve_site_page(const ServerContext& context, platform::NativeHandle socket, bool head_only) {
  constexpr std::string_view kIndexPage = "index.html";
  platform::File file;
  platform::FileFacts facts;
  // A site folder too long for the page's name has no page to open.
  if (!head_only && context.folders.site.size() + 1 + kIndexPage.size() <= platform::kMaxPathChars)
    file = platform::open_for_read(platform::native_path(context.folders.site, kIndexPage), nullptr, &facts);
  serve_page(socket, file, facts, context.bootstrap_script, head_only);
}

}  // namespace

void serve_static(const ServerContext& context, platform::NativeHandle socket, const char* path, const char* range,
                  bool head_only) {
  const bool root = path[0] == '\0' || std::strcmp(path, "/") == 0;
  SiteFile site_file;
  const SitePath mapped = map_site_path(root ? "/index.html" : path, context.folders.site, &site_file);
  if (mapped == SitePath::bad) return send_bad_path(socket);
  const bool page = root || names_index_page(site_file.relative);
  // The open comes first and tells all a served file needs in one look. A
  // page asked with HEAD is answered without its file, so it is not opened.
  platform::File file;
  platform::FileFacts facts;
  if (mapped == SitePath::ok && !(page && head_only))
    file = platform::open_for_read(site_file.path, nullptr, &facts);
  if (!file) {
    // Not opened (a folder is never opened): the attributes decide. A
    // missing path reads as all bits set, so it takes the folder branch.
    const std::uint32_t attributes =
        mapped == SitePath::ok ? platform::file_attributes(site_file.path) : platform::kInvalidAttributes;
    if (attributes & platform::kAttrDirectory) {
      if (is_asset_path(site_file.relative)) return send_not_found(socket);
      return serve_site_page(context, socket, head_only);
    }
    // There, but it could not be opened.
    if (!page) return send_not_found(socket);
  }
  if (page) return serve_page(socket, file, facts, context.bootstrap_script, head_only);
  serve_file(socket, file, facts, site_file.relative, range, head_only);
}
