#include "base/bounded_format.h"
#include "base/event_log.h"
#include "http/handlers.h"
#include "http/response.h"
#include "launcher/app_state.h"
#include "update/update_check.h"
#include "update/update_install.h"
#include "update/update_status.h"

void handle_update_request(platform::NativeHandle socket, const RequestHead& head) {
  // The body means nothing here, but it must be off the connection before
  // the answer goes out.
  drain_request_body(socket, head);

  // Every request checks afresh; `latest` is the fields as this check left
  // them, so the answer never mixes two checks.
  LatestVersion latest;
  const bool ok = check_for_update(&latest);
  const bool available = ok && latest.number > g_app.current_version_number;
  base::log_event("update_check", {"at=request ", update_check_result(ok, latest, g_app.current_version_number)});

  if (!base::ascii_iequal(head.method, "POST")) {
    const std::string document =
        format_status_document(ok, latest, g_app.current_version_number, g_app.current_version_name);
    send_response(socket, 200, "OK", "application/json; charset=utf-8", document.c_str());
    return;
  }
  if (!available) {
    send_response(socket, 200, "OK", "application/json", kPostNotAvailable);
    return;
  }
  if (download_and_install_update(latest.url)) {
    send_response(socket, 200, "OK", "application/json", kPostStarted);
    // No orderly shutdown: the installer waits for this process to be gone.
    base::log_event("end", {"reason=update_handoff"});
    platform::exit_process(0);
  }
  send_response(socket, 500, "Error", "application/json", kPostFailed);
}
