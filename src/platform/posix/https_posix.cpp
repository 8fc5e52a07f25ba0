// One HTTPS GET through libcurl's easy interface.
//
// The time-outs limit single steps, as WinHTTP's do, never the whole
// transfer, so a long download that keeps moving is not cut off:
//   resolve + connect -> CURLOPT_CONNECTTIMEOUT_MS (name lookup, TCP connect
//                        and TLS handshake)
//   receive           -> CURLOPT_LOW_SPEED_LIMIT 1 byte/s over
//                        CURLOPT_LOW_SPEED_TIME (whole seconds, rounded up):
//                        an answer that stalls that long is abandoned
// libcurl has no send time-out; the request of a GET is a few hundred bytes
// that the socket takes at once, and a peer that never reads it never
// answers either, which the stall limit catches. A time-out of 0 means none.
//
// The transfer runs through a multi handle so that the calling thread wakes
// at least every kHttpsProgressPollMs: a progress watcher can then cancel
// even while the host sends nothing.
//
// Redirects are followed as WinHTTP does by default: at most 10, and never
// from HTTPS to plain HTTP. Proxies come from the environment and peers are
// verified against the system's certificate store, libcurl's defaults.
#include <curl/curl.h>

#include <climits>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/https.h"
#include "platform/text.h"

namespace platform {
namespace {

using Sink = std::function<bool(const char*, std::size_t)>;

struct Transfer {
  CURL* curl;
  const Sink* sink;
  std::uint64_t received = 0;
};

struct CurlDeleter {
  void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct MultiDeleter {
  void operator()(CURLM* m) const { curl_multi_cleanup(m); }
};

// Holds the easy handle in the multi handle; taken out again before either
// is cleaned up, as libcurl requires.
class Attached {
 public:
  Attached(CURLM* m, CURL* c) : m_(m), c_(c), ok_(curl_multi_add_handle(m, c) == CURLM_OK) {}
  ~Attached() {
    if (ok_) curl_multi_remove_handle(m_, c_);
  }
  Attached(const Attached&) = delete;
  Attached& operator=(const Attached&) = delete;
  bool ok() const { return ok_; }

 private:
  CURLM* m_;
  CURL* c_;
  bool ok_;
};

std::uint64_t announced_length(CURL* c) {
  curl_off_t length = -1;
  if (curl_easy_getinfo(c, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK || length < 0)
    return kHttpsLengthUnknown;
  return static_cast<std::uint64_t>(length);
}

// Drives the transfer to its end, asking `progress` (when given) after every
// wake-up. The transfer's own result, or nothing when it was cancelled or
// the multi interface failed.
bool run(CURLM* m, CURL* c, Transfer& transfer, const HttpsProgress& progress, CURLcode* rc) {
  for (;;) {
    int running = 0;
    if (curl_multi_perform(m, &running) != CURLM_OK) return false;
    if (running == 0) break;
    if (progress && !progress(transfer.received, announced_length(c))) return false;
    if (curl_multi_poll(m, nullptr, 0, static_cast<int>(kHttpsProgressPollMs), nullptr) != CURLM_OK) return false;
  }
  int left = 0;
  while (CURLMsg* msg = curl_multi_info_read(m, &left)) {
    if (msg->msg == CURLMSG_DONE && msg->easy_handle == c) {
      *rc = msg->data.result;
      if (progress && *rc == CURLE_OK) progress(transfer.received, announced_length(c));
      return true;
    }
  }
  return false;
}

// libcurl is set up once, on first use; it is never torn down, since other
// threads may still be inside a transfer while the process ends.
bool curl_ready() {
  static const bool ok = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  return ok;
}

long response_code(CURL* c) {
  long status = 0;
  return curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK ? status : 0;
}

std::size_t on_body(char* data, std::size_t size, std::size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  const std::size_t n = size * count;
  // Returning less than n makes libcurl stop with CURLE_WRITE_ERROR: the
  // body of any answer but 200 is never handed on.
  if (response_code(t->curl) != 200) return 0;
  for (std::size_t done = 0; done < n;) {
    const std::size_t part = n - done < kHttpsReadBlock ? n - done : kHttpsReadBlock;
    if (!(*t->sink)(data + done, part)) return 0;
    done += part;
    t->received += part;
  }
  return n;
}

long clamp_long(unsigned long long v) { return v > LONG_MAX ? LONG_MAX : static_cast<long>(v); }

void apply_timeouts(CURL* c, const HttpsTimeouts& t) {
  if (t.resolve_ms != 0 && t.connect_ms != 0)
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, clamp_long(0ULL + t.resolve_ms + t.connect_ms));
  if (t.receive_ms != 0) {
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, clamp_long((t.receive_ms + 999ULL) / 1000));
  }
}

}  // namespace

HttpsResult https_get(std::string_view host, std::uint16_t port, std::u16string_view path,
                      std::u16string_view user_agent, const HttpsTimeouts& timeouts, const Sink& sink,
                      const HttpsProgress& progress) {
  HttpsResult result;
  if (!curl_ready()) return result;
  std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
  if (!curl) return result;
  CURL* c = curl.get();
  const std::string url = "https://" + std::string(host) + ":" + std::to_string(port) + utf16_to_utf8(path);
  const std::string agent = utf16_to_utf8(user_agent);
  Transfer transfer{c, &sink};
  std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
  if (!multi) return result;
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_USERAGENT, agent.c_str());
  // No signals: the alarm-based resolver time-out is not safe with threads.
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(c, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "https");
  curl_easy_setopt(c, CURLOPT_BUFFERSIZE, static_cast<long>(kHttpsReadBlock));
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, on_body);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &transfer);
  apply_timeouts(c, timeouts);
  CURLcode rc = CURLE_ABORTED_BY_CALLBACK;
  bool done = false;
  {
    Attached attached(multi.get(), c);
    done = attached.ok() && run(multi.get(), c, transfer, progress, &rc);
  }
  result.status = static_cast<int>(response_code(c));
  result.ok = done && rc == CURLE_OK && result.status == 200;
  return result;
}

}  // namespace platform
