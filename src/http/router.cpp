#include "http/router.h"

#include <cstring>

#include "base/bounded_format.h"
#include "http/handlers.h"
#include "http/open_pages.h"
#include "http/request_guard.h"
#include "http/response.h"
#include "platform/handle.h"
#include "platform/threads.h"

namespace {

// Longer than any valid id, so that a cut id is never taken for a valid one.
constexpr std::size_t kPageMessageBytes = 64;
constexpr std::size_t kSeqDigits = 15;  // the page counts its messages as a JavaScript number

bool method_is(const RequestHead& head, const char* name) {
  return base::ascii_iequal(head.method, name);
}

bool path_is(const RequestHead& head, const char* text) { return std::strcmp(head.path, text) == 0; }

bool path_begins_with(const RequestHead& head, const char* prefix) {
  return std::strncmp(head.path, prefix, std::strlen(prefix)) == 0;
}

// The page id and message number that the bootstrap script adds to its
// messages. False when either is missing or malformed.
bool read_page_message(const RequestHead& head, char (&id)[kPageMessageBytes], std::uint64_t* seq) {
  char number[kPageMessageBytes];
  query_param(head.query, "page", id, sizeof id);
  query_param(head.query, "seq", number, sizeof number);
  const std::size_t digits = std::strlen(number);
  if (!valid_page_id(id) || digits == 0 || digits > kSeqDigits) return false;
  for (std::size_t i = 0; i < digits; ++i)
    if (number[i] < '0' || number[i] > '9') return false;
  *seq = std::uint64_t(base::parse_decimal_saturating(number));
  return true;
}

void answer_quit_beacon(ServerLifecycle& lifecycle, platform::NativeHandle socket, const RequestHead& head) {
  drain_request_body(socket, head);
  std::uint32_t deadline = platform::tick_ms() + kQuitGraceMs;
  // 0 means "no quit pending"; a deadline landing exactly on 0 after the
  // wrap would never fire, so it moves one millisecond on.
  if (deadline == 0) deadline = 1;
  // Armed before the page is marked closed: the main thread, which reads
  // the deadline, then the table, then the deadline again, can never see
  // this page closed together with an older deadline that has passed.
  lifecycle.quit_deadline.exchange(deadline);
  // A beacon without a page id (a page served without the bootstrap, or
  // one that sends its own) arms the deadline and nothing more.
  char id[kPageMessageBytes];
  std::uint64_t seq = 0;
  if (read_page_message(head, id, &seq)) lifecycle.open_pages.record(id, seq, PageSays::hidden);
  send_response(socket, 204, "No Content", "text/plain", "");
}

void answer_page_shown(ServerLifecycle& lifecycle, platform::NativeHandle socket, const RequestHead& head) {
  drain_request_body(socket, head);
  char id[kPageMessageBytes];
  std::uint64_t seq = 0;
  if (!read_page_message(head, id, &seq)) {
    send_response(socket, 400, "Bad Request", "text/plain", "bad-id");
    return;
  }
  lifecycle.open_pages.record(id, seq, PageSays::shown);
  send_response(socket, 204, "No Content", "text/plain", "");
}

}  // namespace

void route_request(ServerContext& context, platform::NativeHandle socket, const RequestHead& head) {
  // Refused before anything else: such a request neither arms nor clears the
  // quit deadline, and its body is never read.
  switch (check_request(head)) {
    case Guard::foreign_host: return void(send_response(socket, 403, "Forbidden", "text/plain", "host"));
    case Guard::foreign_origin: return void(send_response(socket, 403, "Forbidden", "text/plain", "origin"));
    case Guard::pass: break;
  }

  if (path_is(head, "/__quit")) return answer_quit_beacon(context.lifecycle, socket, head);
  // Counted, but no sign that the pending quit should go: only the table
  // says whether a page is open, and a late announcement of a page that has
  // already said goodbye must not keep the launcher running.
  if (method_is(head, "POST") && path_is(head, "/__open")) return answer_page_shown(context.lifecycle, socket, head);

  // Any other request from the launcher's own pages means a page is still
  // (or again) there. Another site may still load files of the site (a
  // frame, an image), but must not keep the launcher running that way.
  if (from_own_origin(head)) context.lifecycle.quit_deadline.exchange(0);

  const bool get = method_is(head, "GET");
  const bool head_only = method_is(head, "HEAD");
  if (method_is(head, "OPTIONS")) {
    send_response(socket, 204, "No Content", "text/plain", "");
  } else if (path_is(head, "/__update")) {
    handle_update_request(context, socket, head);
  } else if (method_is(head, "POST") && path_is(head, "/__save")) {
    handle_save(context, socket, head.query, head.header_block.get(), head.body_prefix, head.body_prefix_count);
  } else if (method_is(head, "POST") && path_is(head, "/__media")) {
    handle_media_upload(context, socket, head.query, head.header_block.get(), head.body_prefix,
                        head.body_prefix_count);
  } else if (method_is(head, "POST") && path_is(head, "/__media-copy")) {
    handle_media_copy(context, socket, head.query);
  } else if (method_is(head, "DELETE") && path_begins_with(head, "/__media/")) {
    handle_media_delete(context, socket, head.path);
  } else if ((get || head_only) && path_begins_with(head, "/__media/")) {
    serve_media(context, socket, head.path, head.range, head_only);
  } else if (get || head_only) {
    serve_static(context, socket, head.path, head.range, head_only);
  } else {
    send_response(socket, 405, "Method Not Allowed", "text/plain", "no");
  }
}
