// Loopback TCP through Windows Sockets 2.2.
#include <utility>

#include "platform/error.h"
#include "platform/handle.h"
#include "platform/net.h"
#include "platform/win32/win32.h"

namespace platform {

// SOCKET is an unsigned pointer-sized integer; INVALID_SOCKET (~0) reads as
// -1 once stored in an intptr_t, which is exactly kInvalidNative.
static_assert(static_cast<NativeHandle>(INVALID_SOCKET) == kInvalidNative);

namespace {

SOCKET to_socket(NativeHandle s) { return static_cast<SOCKET>(s); }
NativeHandle from_socket(SOCKET s) { return static_cast<NativeHandle>(s); }

}  // namespace

void SocketTraits::close(value_type s) { ::closesocket(to_socket(s)); }

bool net_startup() {
  WSADATA data;
  return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

void net_cleanup() { ::WSACleanup(); }

Socket tcp_socket() { return Socket(from_socket(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP))); }

bool set_listener_address_option(const Socket& s) {
  const int on = 1;
  return ::setsockopt(to_socket(s.get()), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
                      reinterpret_cast<const char*>(&on), sizeof on) == 0;
}

bool bind_loopback(const Socket& s, const char* address, std::uint16_t port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = ::htons(port);
  if (::inet_pton(AF_INET, address, &addr.sin_addr) != 1) return false;
  return ::bind(to_socket(s.get()), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
}

bool defer_accept_until_data(const Socket&, std::uint32_t) {
  // accept() has no such setting here; AcceptEx with a receive buffer would
  // be the way, at the price of a wait per connection that never speaks.
  return false;
}

bool listen_on(const Socket& s, int backlog) { return ::listen(to_socket(s.get()), backlog) == 0; }

namespace {

// Whether a failed accept() passes by itself. These kinds are accept()'s
// own: WSAEINTR here means the listener was closed, not a pause.
ErrorKind accept_failure_kind(int code) {
  switch (code) {
    case WSAEMFILE: case WSAENOBUFS: case WSAECONNRESET: case WSAEWOULDBLOCK:
      return ErrorKind::transient;
    default:
      return ErrorKind::other;  // WSAENOTSOCK, WSAEINTR: the listener was closed
  }
}

}  // namespace

Socket accept_connection(NativeHandle listener, Error* error) {
  Socket s(from_socket(::accept(to_socket(listener), nullptr, nullptr)));
  if (!s && error) {
    const int code = ::WSAGetLastError();
    *error = Error{accept_failure_kind(code), code};
  }
  return s;
}

void close_listener(Socket& s) {
  // On Windows closing the socket is enough to fail a blocked accept().
  s.reset();
}

void set_timeouts(NativeHandle s, std::uint32_t recv_ms, std::uint32_t send_ms) {
  const DWORD r = recv_ms;
  const DWORD w = send_ms;
  ::setsockopt(to_socket(s), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&r), sizeof r);
  ::setsockopt(to_socket(s), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&w), sizeof w);
}

// After SD_SEND a FIN follows the bytes already queued; recv still works.
bool shutdown_send(NativeHandle s) { return ::shutdown(to_socket(s), SD_SEND) == 0; }

// FIONREAD: the bytes one recv would return now, without waiting.
bool receive_pending(NativeHandle s) {
  u_long waiting = 0;
  return ::ioctlsocket(to_socket(s), FIONREAD, &waiting) == 0 && waiting > 0;
}

int recv_some(NativeHandle s, void* buf, int len) {
  return ::recv(to_socket(s), static_cast<char*>(buf), len, 0);
}

int send_some(NativeHandle s, const void* buf, int len) {
  // Windows has no SIGPIPE: a send to a peer that left just fails.
  return ::send(to_socket(s), static_cast<const char*>(buf), len, 0);
}

}  // namespace platform
