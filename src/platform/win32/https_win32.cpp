// One synchronous HTTPS GET through WinHTTP: default proxy, TLS, and no
// other option but the response-head time-out, so redirects and certificate
// checks are the system's own. The steps and their order are those of the
// update fetch: open, time-outs (their outcome ignored), connect, open
// request and its response-head time-out, send, receive, the status
// as a number (0 when the query fails), then the body in blocks of at most
// 16 KiB for as long as data is reported available.
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

}  // namespace

HttpsResult https_get(std::string_view host, std::uint16_t port, std::u16string_view path,
                      std::u16string_view user_agent, const HttpsTimeouts& timeouts,
                      const std::function<bool(const char*, std::size_t)>& sink) {
  HttpsResult result;
  const std::u16string agent = win32::terminated(user_agent);
  const std::u16string object = win32::terminated(path);
  // Host names are ASCII; widening byte by byte is enough.
  const std::u16string server(host.begin(), host.end());

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

}  // namespace platform
