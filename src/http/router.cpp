#include "http/router.h"

#include <cstring>

#include "base/bounded_format.h"
#include "http/handlers.h"
#include "http/request_guard.h"
#include "http/response.h"
#include "launcher/app_state.h"

namespace {

bool method_is(const RequestHead& head, const char* name) {
  return base::ascii_iequal(head.method, name);
}

bool path_is(const RequestHead& head, const char* text) { return std::strcmp(head.path, text) == 0; }

bool path_begins_with(const RequestHead& head, const char* prefix) {
  return std::strncmp(head.path, prefix, std::strlen(prefix)) == 0;
}

void answer_quit_beacon(platform::NativeHandle socket, const RequestHead& head) {
  const std::int64_t outstanding = outstanding_body(head);
  if (outstanding > 0) drain_body(socket, outstanding);
  std::uint32_t deadline = platform::tick_ms() + kQuitGraceMs;
  // 0 means "no quit pending"; a deadline landing exactly on 0 after the
  // wrap would never fire, so it moves one millisecond on.
  if (deadline == 0) deadline = 1;
  g_app.quit_deadline.exchange(deadline);
  send_response(socket, 204, "No Content", "text/plain", "");
}

}  // namespace

void route_request(platform::NativeHandle socket, const RequestHead& head) {
  // Refused before anything else: such a request neither arms nor clears the
  // quit deadline, and its body is never read.
  switch (check_request(head)) {
    case Guard::foreign_host: return void(send_response(socket, 403, "Forbidden", "text/plain", "host"));
    case Guard::foreign_origin: return void(send_response(socket, 403, "Forbidden", "text/plain", "origin"));
    case Guard::pass: break;
  }

  if (path_is(head, "/__quit")) return answer_quit_beacon(socket, head);

  // Any other request means the page is still (or again) there.
  g_app.quit_deadline.exchange(0);

  const bool get = method_is(head, "GET");
  const bool head_only = method_is(head, "HEAD");
  if (method_is(head, "OPTIONS")) {
    send_response(socket, 204, "No Content", "text/plain", "");
  } else if (path_is(head, "/__update")) {
    handle_update_request(socket, head);
  } else if (method_is(head, "POST") && path_is(head, "/__save")) {
    handle_save(socket, head.query, head.header_block.get(), head.body_prefix, head.body_prefix_count);
  } else if (method_is(head, "POST") && path_is(head, "/__media")) {
    handle_media_upload(socket, head.query, head.header_block.get(), head.body_prefix,
                        head.body_prefix_count);
  } else if (method_is(head, "POST") && path_is(head, "/__media-copy")) {
    handle_media_copy(socket, head.query);
  } else if (method_is(head, "DELETE") && path_begins_with(head, "/__media/")) {
    handle_media_delete(socket, head.path);
  } else if ((get || head_only) && path_begins_with(head, "/__media/")) {
    serve_media(socket, head.path, head.range, head_only);
  } else if (get || head_only) {
    serve_static(socket, head.path, head.range, head_only);
  } else {
    send_response(socket, 405, "Method Not Allowed", "text/plain", "no");
  }
}
