// HTTPS GET, for the update check and the update download.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

namespace platform {

// Limits of single network steps, not of the whole transfer: a download may
// go on for as long as data keeps coming. 0 means no limit.
struct HttpsTimeouts {
  std::uint32_t resolve_ms, connect_ms, send_ms, receive_ms;
};
struct HttpsResult {
  bool ok = false;       // a 200 answer whose body was read to the end
  int status = 0;        // HTTP status code when known
};
inline constexpr std::size_t kHttpsReadBlock = 16384;
// The Content-Length that a progress report gives when the answer has none
// (or its head has not come yet).
inline constexpr std::uint64_t kHttpsLengthUnknown = UINT64_MAX;
// How often, at the least, a transfer with a progress watcher asks it
// whether to go on, even while the host sends nothing.
inline constexpr std::uint32_t kHttpsProgressPollMs = 100;
// Watches a transfer: called on the calling thread with the body bytes that
// the sink has taken so far and the announced length (kHttpsLengthUnknown
// when none), at least every kHttpsProgressPollMs and after body blocks.
// Returning false cancels: the call returns within about one poll interval,
// not ok, and the sink sees no further byte.
using HttpsProgress = std::function<bool(std::uint64_t received, std::uint64_t total)>;
// One synchronous GET over TLS on `port`, with the system's proxy settings,
// certificate store and redirect rules, and nothing else set. Body bytes are
// handed to `sink` as they arrive, at most kHttpsReadBlock at a time, so no
// more than one block is held here; a sink returning false stops the
// transfer (the result is then not ok). Only a 200 response has its body
// read: any other status is reported in `status` with ok false, and the sink
// never sees a byte of it. Each call has its own session and connection.
// `progress`, when given, watches the transfer (above); the sink is still
// called on the calling thread only, and never after the call returned.
// Windows: WinHTTP with the default proxy and the time-outs as given; with a
// watcher, the blocking WinHTTP calls run on a thread of their own, which a
// cancel leaves behind to end by its time-outs (WinHTTP documents no way to
// break off a synchronous call).
// POSIX: libcurl; resolve + connect bound the connection and TLS handshake,
// receive bounds how long the answer may stall (whole seconds, rounded up).
HttpsResult https_get(std::string_view host, std::uint16_t port, std::u16string_view path,
                      std::u16string_view user_agent, const HttpsTimeouts& timeouts,
                      const std::function<bool(const char*, std::size_t)>& sink,
                      const HttpsProgress& progress = {});

}  // namespace platform
