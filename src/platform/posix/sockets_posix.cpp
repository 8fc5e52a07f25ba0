// Loopback TCP sockets on POSIX.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/error.h"
#include "platform/handle.h"
#include "platform/net.h"

namespace platform {
namespace {

int fd_of(NativeHandle h) { return static_cast<int>(h); }

timeval to_timeval(std::uint32_t ms) {
  timeval tv{};
  tv.tv_sec = static_cast<time_t>(ms / 1000);
  tv.tv_usec = static_cast<suseconds_t>((ms % 1000) * 1000);
  return tv;
}

}  // namespace

void SocketTraits::close(value_type s) { ::close(fd_of(s)); }

bool net_startup() { return true; }
void net_cleanup() {}

Socket tcp_socket() { return Socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP)); }

bool set_listener_address_option(const Socket& s) {
  const int on = 1;
  return ::setsockopt(fd_of(s.get()), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0;
}

bool bind_loopback(const Socket& s, const char* address, std::uint16_t port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  if (::inet_pton(AF_INET, address, &addr.sin_addr) != 1) return false;
  return ::bind(fd_of(s.get()), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
}

bool defer_accept_until_data(const Socket& s, std::uint32_t seconds) {
  const int value = seconds > 0x7FFFFFFFu ? 0x7FFFFFFF : int(seconds);
  return ::setsockopt(fd_of(s.get()), IPPROTO_TCP, TCP_DEFER_ACCEPT, &value, sizeof value) == 0;
}

bool listen_on(const Socket& s, int backlog) { return ::listen(fd_of(s.get()), backlog) == 0; }

namespace {

// Whether a failed accept() passes by itself. These kinds are accept()'s
// own: EAGAIN and EPERM (a firewall rule) mean something else here than
// they do for a file.
ErrorKind accept_failure_kind(int code) {
  switch (code) {
    case EMFILE: case ENFILE: case ENOBUFS: case ENOMEM: case ECONNABORTED: case EPROTO: case EPERM:
    case EAGAIN:
      return ErrorKind::transient;
    default:
      return ErrorKind::other;  // EINVAL: the listener was shut down
  }
}

}  // namespace

Socket accept_connection(NativeHandle listener, Error* error) {
  int fd;
  do {
    fd = ::accept4(fd_of(listener), nullptr, nullptr, SOCK_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0 && error) *error = Error{accept_failure_kind(errno), errno};
  return Socket(fd);
}

void close_listener(Socket& s) {
  // On Linux, closing a listening socket does not wake a thread blocked in
  // accept(); shutting it down does (the accept then fails with EINVAL).
  if (s) ::shutdown(fd_of(s.get()), SHUT_RDWR);
  s.reset();
}

void set_timeouts(NativeHandle s, std::uint32_t recv_ms, std::uint32_t send_ms) {
  // As on Windows, 0 means no time-out.
  const timeval rcv = to_timeval(recv_ms);
  const timeval snd = to_timeval(send_ms);
  ::setsockopt(fd_of(s), SOL_SOCKET, SO_RCVTIMEO, &rcv, sizeof rcv);
  ::setsockopt(fd_of(s), SOL_SOCKET, SO_SNDTIMEO, &snd, sizeof snd);
}

bool shutdown_send(NativeHandle s) { return ::shutdown(fd_of(s), SHUT_WR) == 0; }

bool receive_pending(NativeHandle s) {
  char byte;
  ssize_t n;
  do {
    n = ::recv(fd_of(s), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
  } while (n < 0 && errno == EINTR);
  return n > 0;
}

int recv_some(NativeHandle s, void* buf, int len) {
  if (len < 0) return -1;
  ssize_t n;
  do {
    n = ::recv(fd_of(s), buf, static_cast<std::size_t>(len), 0);
  } while (n < 0 && errno == EINTR);
  return static_cast<int>(n);
}

int send_some(NativeHandle s, const void* buf, int len) {
  if (len < 0) return -1;
  ssize_t n;
  do {
    // MSG_NOSIGNAL: a peer that has gone must give an error, not SIGPIPE.
    n = ::send(fd_of(s), buf, static_cast<std::size_t>(len), MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  return static_cast<int>(n);
}

}  // namespace platform
