// One HTTPS GET through libcurl's easy interface.
//
// The four time-outs are mapped onto what libcurl offers:
//   resolve + connect                 -> CURLOPT_CONNECTTIMEOUT_MS (name lookup,
//                                        TCP connect and TLS handshake)
//   receive (whole seconds, rounded up) -> CURLOPT_LOW_SPEED_LIMIT 1 byte/s over
//                                        CURLOPT_LOW_SPEED_TIME: a transfer that
//                                        stalls that long is abandoned
//   resolve + connect + send + receive -> CURLOPT_TIMEOUT_MS, a cap on the whole
//                                        request
// libcurl has no separate send time-out; the request of a GET is a few hundred
// bytes, so the stall limit and the cap cover it. A time-out of 0 means none,
// as with WinHTTP, and then no cap is set either.
#include <curl/curl.h>

#include <climits>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace platform {
namespace {

using Sink = std::function<bool(const char*, std::size_t)>;

struct CurlDeleter {
  void operator()(CURL* c) const { curl_easy_cleanup(c); }
};

// libcurl is set up once, on first use; it is never torn down, since other
// threads may still be inside a transfer while the process ends.
bool curl_ready() {
  static const bool ok = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  return ok;
}

std::size_t on_body(char* data, std::size_t size, std::size_t count, void* user) {
  const std::size_t n = size * count;
  // Returning less than n makes libcurl stop with CURLE_WRITE_ERROR.
  return (*static_cast<const Sink*>(user))(data, n) ? n : 0;
}

long clamp_long(unsigned long long v) { return v > LONG_MAX ? LONG_MAX : static_cast<long>(v); }

void apply_timeouts(CURL* c, const HttpsTimeouts& t) {
  const unsigned long long connect = 0ULL + t.resolve_ms + t.connect_ms;
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, clamp_long(connect));
  if (t.receive_ms != 0) {
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, clamp_long((t.receive_ms + 999ULL) / 1000));
  }
  if (t.resolve_ms != 0 && t.connect_ms != 0 && t.send_ms != 0 && t.receive_ms != 0) {
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, clamp_long(connect + t.send_ms + t.receive_ms));
  }
}

}  // namespace

HttpsResult https_get(std::string_view host, std::uint16_t port, std::u16string_view path,
                      std::u16string_view user_agent, const HttpsTimeouts& timeouts, const Sink& sink) {
  HttpsResult result;
  if (!curl_ready()) return result;
  std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
  if (!curl) return result;
  CURL* c = curl.get();
  const std::string url = "https://" + std::string(host) + ":" + std::to_string(port) + utf16_to_utf8(path);
  const std::string agent = utf16_to_utf8(user_agent);
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_USERAGENT, agent.c_str());
  // No signals: the alarm-based resolver time-out is not safe with threads.
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, on_body);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &sink);
  apply_timeouts(c, timeouts);
  // Proxy from the environment and peer verification against the system's
  // certificate store are libcurl's defaults.
  const CURLcode rc = curl_easy_perform(c);
  long status = 0;
  if (curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK) result.status = static_cast<int>(status);
  result.ok = rc == CURLE_OK;
  return result;
}

}  // namespace platform
