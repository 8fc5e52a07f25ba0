// The short answers that more than one media handler sends. Their texts and
// content types are part of the page's contract: the upload and the save
// answer "ok" as UTF-8 text, everything else as plain text.
#pragma once

#include "http/response.h"
#include "platform/handle.h"

inline void send_stored_ok(platform::NativeHandle socket) {
  send_response(socket, 200, "OK", "text/plain; charset=utf-8", "ok");
}

inline void send_disk_error(platform::NativeHandle socket) {
  send_response(socket, 500, "Error", "text/plain", "disk");
}

inline void send_length_required(platform::NativeHandle socket) {
  send_response(socket, 411, "Length Required", "text/plain", "length");
}
