#include "base/bounded_format.h"
#include "base/event_log.h"
#include "http/handlers.h"
#include "http/response.h"
#include "platform/handle.h"
#include "platform/process.h"
#include "update/update_check.h"
#include "update/update_install.h"
#include "update/update_status.h"

void handle_update_request(const ServerContext& context, platform::NativeHandle socket, const RequestHead& head) {
  // The body means nothing here, but it must be off the connection before
  // the answer goes out.
  drain_request_body(socket, head);

  // Every request checks afresh; `latest` is the fields as this check left
  // them, so the answer never mixes two checks.
  LatestVersion latest;
  bool manifest_read = false;
  const bool ok = check_for_update(latest_version_store(), &latest, &manifest_read);
  const VersionIdentity& current = context.version;
  const bool available = ok && latest.number > current.number;
  base::log_event("update_check", {"at=request ", update_check_result(ok, latest, current.number)});

  if (!base::ascii_iequal(head.method, "POST")) {
    const std::string document =
        format_status_document(ok, manifest_read, latest, current.number, current.name);
    send_response(socket, 200, "OK", "application/json; charset=utf-8", document.c_str());
    return;
  }
  if (!available) {
    send_response(socket, 200, "OK", "application/json", kPostNotAvailable);
    return;
  }
  if (download_and_install_update(latest.url, context.folders.exe, latest.signature)) {
    send_response(socket, 200, "OK", "application/json", kPostStarted);
    // No orderly shutdown: the installer waits for this process to be gone.
    base::log_event("end", {"reason=update_handoff"});
    platform::exit_process(0);
  }
  send_response(socket, 500, "Error", "application/json", kPostFailed);
}
