// One synchronous HTTPS GET through WinHTTP: default proxy, TLS, and no
// other option but the response-head time-out, so redirects and certificate
// checks are the system's own. The steps and their order are those of the
// update fetch: open, time-outs (their outcome ignored), connect, open
// request and its response-head time-out, send, receive, the status
// as a number (0 when the query fails), then the body in blocks of at most
// 16 KiB for as long as data is reported available.
//
// With a progress watcher the same steps run on a reader thread of their
// own, handing each block over to the calling thread, which wakes at least
// every kHttpsProgressPollMs to ask the watcher whether to go on. WinHTTP
// documents closing a handle to break off an asynchronous request only, so a
// cancel does not touch the reader's handles: the calling thread stops
// taking blocks and returns, and the reader ends by itself at its next block
// or time-out.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "platform/handle.h"
#include "platform/https.h"
#include "platform/win32/win32.h"

namespace platform {

namespace {

struct InternetTraits {
  using value_type = HINTERNET;
  static value_type invalid() { return nullptr; }
  static void close(value_type h) { ::WinHttpCloseHandle(h); }
};
using Internet = UniqueHandle<InternetTraits>;

constexpr DWORD kReadBlock = kHttpsReadBlock;
// Room for the Content-Length header's text, terminator included.
constexpr DWORD kLengthTextUnits = 32;

using Sink = std::function<bool(const char*, std::size_t)>;

// What one GET needs, copied so that a reader thread left behind owns it.
struct Request {
  std::u16string agent, object, server;
  std::uint16_t port;
  HttpsTimeouts timeouts;
};

// The Content-Length as a number; kHttpsLengthUnknown when there is none.
std::uint64_t content_length(HINTERNET request) {
  wchar_t text[kLengthTextUnits] = {};
  DWORD size = sizeof text;
  if (!::WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, text, &size,
                             WINHTTP_NO_HEADER_INDEX) ||
      text[0] == L'\0') {
    return kHttpsLengthUnknown;
  }
  std::uint64_t n = 0;
  for (const wchar_t* p = text; *p; ++p) {
    if (*p < L'0' || *p > L'9' || n > (kHttpsLengthUnknown - 9) / 10) return kHttpsLengthUnknown;
    n = n * 10 + std::uint64_t(*p - L'0');
  }
  return n;
}

// The steps of the GET; `on_length` hears the Content-Length of a 200
// answer before its first block.
HttpsResult transfer(const Request& r, const Sink& sink, const std::function<void(std::uint64_t)>& on_length) {
  HttpsResult result;
  const std::u16string& agent = r.agent;
  const std::u16string& object = r.object;
  const std::u16string& server = r.server;
  const std::uint16_t port = r.port;
  const HttpsTimeouts& timeouts = r.timeouts;

  // Declared in opening order, so they close in the reverse one: request,
  // connection, session.
  Internet session(::WinHttpOpen(win32::wide(agent), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                 WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) return result;
  ::WinHttpSetTimeouts(session.get(), static_cast<int>(timeouts.resolve_ms),
                       static_cast<int>(timeouts.connect_ms), static_cast<int>(timeouts.send_ms),
                       static_cast<int>(timeouts.receive_ms));
  Internet connection(::WinHttpConnect(session.get(), win32::wide(server), port, 0));
  if (!connection) return result;
  Internet request(::WinHttpOpenRequest(connection.get(), L"GET", win32::wide(object), nullptr,
                                        WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                        WINHTTP_FLAG_SECURE));
  if (!request) return result;
  // The receive time-out of WinHttpSetTimeouts does not bound the wait for
  // the response head: that has its own time-out, 90 s by default, so a host
  // that accepts and stays silent would hold the caller that long. Bound it
  // by the same receive time-out; 0 keeps the default. Set on the request,
  // where it applies; its outcome is ignored like that of the others.
  if (timeouts.receive_ms != 0) {
    DWORD response_ms = timeouts.receive_ms;
    ::WinHttpSetOption(request.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &response_ms,
                       sizeof response_ms);
  }
  if (!::WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                            WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
      !::WinHttpReceiveResponse(request.get(), nullptr)) {
    return result;
  }

  DWORD status = 0;  // stays 0 when the query fails
  DWORD status_size = sizeof status;
  ::WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                        WINHTTP_HEADER_NAME_BY_INDEX, &status, &status_size,
                        WINHTTP_NO_HEADER_INDEX);
  result.status = static_cast<int>(status);
  // Only a 200 body is the resource; any other body never reaches the sink.
  if (status != HTTP_STATUS_OK) return result;
  if (on_length) on_length(content_length(request.get()));

  char block[kReadBlock];
  DWORD available = 0;
  if (!::WinHttpQueryDataAvailable(request.get(), &available)) return result;
  while (available != 0) {
    while (available > 0) {
      DWORD got = 0;
      const DWORD want = available < kReadBlock ? available : kReadBlock;
      if (!::WinHttpReadData(request.get(), block, want, &got)) return result;
      if (got == 0) break;
      available -= got;  // never more than asked for
      if (!sink(block, got)) return result;
    }
    available = 0;
    if (!::WinHttpQueryDataAvailable(request.get(), &available)) return result;
  }
  result.ok = true;
  return result;
}

// The hand-over between the reader thread and the calling thread: one block
// at a time, the Content-Length, and the reader's result.
struct Relay {
  std::mutex lock;
  std::condition_variable changed;
  char block[kReadBlock];
  std::size_t size = 0;
  bool full = false;       // a block waits for the calling thread
  bool abandoned = false;  // the calling thread has returned
  bool finished = false;
  HttpsResult result;
  std::uint64_t length = kHttpsLengthUnknown;
};

void read_into(const std::shared_ptr<Relay>& relay, const Request& r) {
  const auto hand_over = [&relay](const char* data, std::size_t size) {
    std::unique_lock<std::mutex> hold(relay->lock);
    relay->changed.wait(hold, [&] { return !relay->full || relay->abandoned; });
    if (relay->abandoned) return false;
    std::memcpy(relay->block, data, size);
    relay->size = size;
    relay->full = true;
    relay->changed.notify_all();
    return true;
  };
  const auto on_length = [&relay](std::uint64_t length) {
    std::lock_guard<std::mutex> hold(relay->lock);
    relay->length = length;
  };
  const HttpsResult result = transfer(r, hand_over, on_length);
  std::lock_guard<std::mutex> hold(relay->lock);
  relay->result = result;
  relay->finished = true;
  relay->changed.notify_all();
}

HttpsResult watched_get(const Request& r, const Sink& sink, const HttpsProgress& progress) {
  auto relay = std::make_shared<Relay>();
  std::thread reader;
  try {
    reader = std::thread([relay, r] { read_into(relay, r); });
  } catch (const std::system_error&) {
    return {};
  }
  // The reader may outlive this call after a cancel; the relay it shares
  // stays alive until both are done with it.
  reader.detach();
  const auto abandon = [&relay] {
    std::lock_guard<std::mutex> hold(relay->lock);
    relay->abandoned = true;
    relay->changed.notify_all();
  };
  std::uint64_t received = 0;
  std::unique_lock<std::mutex> hold(relay->lock);
  for (;;) {
    relay->changed.wait_for(hold, std::chrono::milliseconds(kHttpsProgressPollMs),
                            [&] { return relay->full || relay->finished; });
    const std::uint64_t length = relay->length;
    if (relay->full) {
      // The reader waits while the block is full, so it can be read unlocked.
      hold.unlock();
      const bool taken = sink(relay->block, relay->size);
      received += relay->size;
      hold.lock();
      relay->full = false;
      relay->changed.notify_all();
      if (!taken) break;
      hold.unlock();
      const bool go_on = progress(received, length);
      hold.lock();
      if (!go_on) break;
      continue;  // no sleep: the next block may be waiting already
    }
    if (relay->finished) {
      const HttpsResult result = relay->result;
      hold.unlock();
      if (result.ok) progress(received, length);
      return result;
    }
    hold.unlock();
    const bool go_on = progress(received, length);
    hold.lock();
    if (!go_on) break;
  }
  hold.unlock();
  abandon();
  HttpsResult cancelled;
  std::lock_guard<std::mutex> status_hold(relay->lock);
  cancelled.status = relay->result.status;
  return cancelled;
}

}  // namespace

HttpsResult https_get(std::string_view host, std::uint16_t port, std::u16string_view path,
                      std::u16string_view user_agent, const HttpsTimeouts& timeouts, const Sink& sink,
                      const HttpsProgress& progress) {
  // Host names are ASCII; widening byte by byte is enough.
  const Request r{win32::terminated(user_agent), win32::terminated(path),
                  std::u16string(host.begin(), host.end()), port, timeouts};
  if (progress) return watched_get(r, sink, progress);
  return transfer(r, sink, {});
}

}  // namespace platform
