// One HTTPS GET through libcurl's easy interface.
//
// The time-outs limit single steps, as WinHTTP's do, never the whole
// transfer, so a long download that keeps moving is not cut off:
//   resolve           -> the name lookup made before libcurl (below)
//   resolve + connect -> CURLOPT_CONNECTTIMEOUT_MS (TCP connect and TLS
//                        handshake, and the name lookup behind a proxy)
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
//
// libcurl is loaded on the first call (platform/posix/loaded_library.h), and
// only once the host's name has been found: without a proxy, the name is
// looked up first, and a name that cannot be found fails the call as
// libcurl would have, without loading it. The addresses found are handed to
// libcurl, which then does not ask the resolver again.
#define CURL_DISABLE_TYPECHECK  // calls go through the table below
#include <curl/curl.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/https.h"
#include "platform/posix/loaded_library.h"
#include "platform/posix/name_lookup.h"
#include "platform/text.h"

namespace platform {
namespace {

// The part of libcurl's interface used here, taken from the library when it
// is first needed. libcurl.so.4 has kept its interface since 2006.
struct Curl {
  decltype(&curl_global_init) global_init;
  decltype(&curl_easy_init) easy_init;
  decltype(&curl_easy_cleanup) easy_cleanup;
  decltype(&curl_easy_setopt) easy_setopt;
  decltype(&curl_easy_getinfo) easy_getinfo;
  decltype(&curl_slist_append) slist_append;
  decltype(&curl_slist_free_all) slist_free_all;
  decltype(&curl_multi_init) multi_init;
  decltype(&curl_multi_cleanup) multi_cleanup;
  decltype(&curl_multi_add_handle) multi_add_handle;
  decltype(&curl_multi_remove_handle) multi_remove_handle;
  decltype(&curl_multi_perform) multi_perform;
  decltype(&curl_multi_poll) multi_poll;
  decltype(&curl_multi_info_read) multi_info_read;
};

constexpr const char* kCurlLibrary = "libcurl.so.4";

// libcurl, loaded and set up once, on first use; nullptr when it is missing
// or its set-up failed. It is never torn down, since other threads may
// still be inside a transfer while the process ends.
const Curl* curl() {
  static const Curl* const loaded = []() -> const Curl* {
    static posix::LoadedLibrary library(kCurlLibrary);
    static Curl api{};
    const bool bound = library.bind("curl_global_init", api.global_init) &&
                       library.bind("curl_easy_init", api.easy_init) &&
                       library.bind("curl_easy_cleanup", api.easy_cleanup) &&
                       library.bind("curl_easy_setopt", api.easy_setopt) &&
                       library.bind("curl_easy_getinfo", api.easy_getinfo) &&
                       library.bind("curl_slist_append", api.slist_append) &&
                       library.bind("curl_slist_free_all", api.slist_free_all) &&
                       library.bind("curl_multi_init", api.multi_init) &&
                       library.bind("curl_multi_cleanup", api.multi_cleanup) &&
                       library.bind("curl_multi_add_handle", api.multi_add_handle) &&
                       library.bind("curl_multi_remove_handle", api.multi_remove_handle) &&
                       library.bind("curl_multi_perform", api.multi_perform) &&
                       library.bind("curl_multi_poll", api.multi_poll) &&
                       library.bind("curl_multi_info_read", api.multi_info_read);
    if (!bound || api.global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) return nullptr;
    return &api;
  }();
  return loaded;
}

// libcurl takes its proxy from these variables; with one set, the proxy
// looks the host up, and this machine may well not be able to.
bool proxy_in_environment() {
  for (const char* name : {"https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  return false;
}

using Sink = std::function<bool(const char*, std::size_t)>;

struct Transfer {
  CURL* curl;
  const Sink* sink;
  std::uint64_t received = 0;
};

struct CurlDeleter {
  void operator()(CURL* c) const { curl()->easy_cleanup(c); }
};
struct ListDeleter {
  void operator()(curl_slist* l) const { curl()->slist_free_all(l); }
};
struct MultiDeleter {
  void operator()(CURLM* m) const { curl()->multi_cleanup(m); }
};

// Holds the easy handle in the multi handle; taken out again before either
// is cleaned up, as libcurl requires.
class Attached {
 public:
  Attached(CURLM* m, CURL* c) : m_(m), c_(c), ok_(curl()->multi_add_handle(m, c) == CURLM_OK) {}
  ~Attached() {
    if (ok_) curl()->multi_remove_handle(m_, c_);
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
  if (curl()->easy_getinfo(c, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK || length < 0)
    return kHttpsLengthUnknown;
  return static_cast<std::uint64_t>(length);
}

// Drives the transfer to its end, asking `progress` (when given) after every
// wake-up. The transfer's own result, or nothing when it was cancelled or
// the multi interface failed.
bool run(CURLM* m, CURL* c, Transfer& transfer, const HttpsProgress& progress, CURLcode* rc) {
  for (;;) {
    int running = 0;
    if (curl()->multi_perform(m, &running) != CURLM_OK) return false;
    if (running == 0) break;
    if (progress && !progress(transfer.received, announced_length(c))) return false;
    if (curl()->multi_poll(m, nullptr, 0, static_cast<int>(kHttpsProgressPollMs), nullptr) != CURLM_OK) return false;
  }
  int left = 0;
  while (CURLMsg* msg = curl()->multi_info_read(m, &left)) {
    if (msg->msg == CURLMSG_DONE && msg->easy_handle == c) {
      *rc = msg->data.result;
      if (progress && *rc == CURLE_OK) progress(transfer.received, announced_length(c));
      return true;
    }
  }
  return false;
}

long response_code(CURL* c) {
  long status = 0;
  return curl()->easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK ? status : 0;
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
    curl()->easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, clamp_long(0ULL + t.resolve_ms + t.connect_ms));
  if (t.receive_ms != 0) {
    curl()->easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl()->easy_setopt(c, CURLOPT_LOW_SPEED_TIME, clamp_long((t.receive_ms + 999ULL) / 1000));
  }
}

}  // namespace

HttpsResult https_get(std::string_view host, std::uint16_t port, std::u16string_view path,
                      std::u16string_view user_agent, const HttpsTimeouts& timeouts, const Sink& sink,
                      const HttpsProgress& progress) {
  HttpsResult result;
  const std::string name(host);
  posix::Lookup found;  // not looked up: libcurl does it
  if (!proxy_in_environment()) {
    // The progress watcher is asked while the name is looked up too, as it
    // would be while libcurl's resolver runs.
    found = posix::look_up_host(name, timeouts.resolve_ms, kHttpsProgressPollMs, [&progress] {
      return !progress || progress(0, kHttpsLengthUnknown);
    });
    if (found.outcome == posix::LookupOutcome::not_found || found.outcome == posix::LookupOutcome::gave_up)
      return result;
  }
  if (!curl()) return result;
  std::unique_ptr<curl_slist, ListDeleter> addresses;
  if (found.outcome == posix::LookupOutcome::found)
    addresses.reset(curl()->slist_append(nullptr, posix::resolve_entry(name, port, found.addresses).c_str()));
  std::unique_ptr<CURL, CurlDeleter> easy(curl()->easy_init());
  if (!easy) return result;
  CURL* c = easy.get();
  const std::string url = "https://" + name + ":" + std::to_string(port) + utf16_to_utf8(path);
  const std::string agent = utf16_to_utf8(user_agent);
  Transfer transfer{c, &sink};
  std::unique_ptr<CURLM, MultiDeleter> multi(curl()->multi_init());
  if (!multi) return result;
  curl()->easy_setopt(c, CURLOPT_URL, url.c_str());
  curl()->easy_setopt(c, CURLOPT_USERAGENT, agent.c_str());
  if (addresses) curl()->easy_setopt(c, CURLOPT_RESOLVE, addresses.get());
  // No signals: the alarm-based resolver time-out is not safe with threads.
  curl()->easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl()->easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
  curl()->easy_setopt(c, CURLOPT_MAXREDIRS, 10L);
  curl()->easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "https");
  curl()->easy_setopt(c, CURLOPT_BUFFERSIZE, static_cast<long>(kHttpsReadBlock));
  curl()->easy_setopt(c, CURLOPT_WRITEFUNCTION, on_body);
  curl()->easy_setopt(c, CURLOPT_WRITEDATA, &transfer);
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
