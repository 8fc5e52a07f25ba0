// Zero-copy file sending on Linux: sendfile() moves the bytes from the page
// cache to the socket inside the kernel.
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <time.h>

#include <atomic>
#include <cerrno>

#include "platform/files.h"
#include "platform/handle.h"
#include "platform/net.h"
#include "platform/threads.h"
#include "platform/posix/broken_pipe.h"
#include "platform/transmit_chunk.h"

namespace platform {
namespace {

// Set once the whole process ignores SIGPIPE (the launcher's entry does so
// first thing): the guard below is then two system calls for nothing.
std::atomic<bool> g_sigpipe_ignored{false};

// sendfile() has no MSG_NOSIGNAL. A peer that has gone would raise SIGPIPE,
// whose default action ends the process, so the call runs with SIGPIPE
// blocked in this thread, and the SIGPIPE that a broken connection raised is
// taken off the queue before the old mask returns.
class SigpipeBlocked {
 public:
  SigpipeBlocked() : active_(!g_sigpipe_ignored.load(std::memory_order_relaxed)) {
    if (!active_) return;
    sigemptyset(&pipe_);
    sigaddset(&pipe_, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe_, &old_);
  }
  // After EPIPE. When SIGPIPE was not blocked before, nothing else can have
  // left one pending in this thread, so the one found is ours.
  void consume() {
    if (!active_ || sigismember(&old_, SIGPIPE)) return;
    const timespec now{0, 0};
    while (sigtimedwait(&pipe_, nullptr, &now) < 0 && errno == EINTR) {
    }
  }
  ~SigpipeBlocked() {
    if (active_) pthread_sigmask(SIG_SETMASK, &old_, nullptr);
  }
  SigpipeBlocked(const SigpipeBlocked&) = delete;
  SigpipeBlocked& operator=(const SigpipeBlocked&) = delete;

 private:
  const bool active_;
  sigset_t pipe_, old_;
};

// Errors that mean "this descriptor pair cannot be spliced", as opposed to
// a connection or disk failure that the copying loop would meet as well.
bool means_unsupported(int error) {
  return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == ENOTSUP || error == ESPIPE ||
         error == EOVERFLOW;
}

// The socket's send time-out in ms, 0 when none is set.
std::uint32_t send_timeout_ms(int fd) {
  timeval tv{};
  socklen_t len = sizeof tv;
  if (::getsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, &len) != 0) return 0;
  const std::int64_t ms = std::int64_t(tv.tv_sec) * 1000 + tv.tv_usec / 1000;
  return ms > 0xFFFFFFFFll ? 0xFFFFFFFFu : std::uint32_t(ms);
}

// The socket does not block while a transfer runs, so that this code, not
// the kernel, decides when a piece has waited too long; its own mode comes
// back afterwards.
class NonBlocking {
 public:
  explicit NonBlocking(int fd) : fd_(fd), flags_(::fcntl(fd, F_GETFL)) {
    ok_ = flags_ >= 0 && ::fcntl(fd, F_SETFL, flags_ | O_NONBLOCK) == 0;
  }
  ~NonBlocking() {
    if (ok_) ::fcntl(fd_, F_SETFL, flags_);
  }
  NonBlocking(const NonBlocking&) = delete;
  NonBlocking& operator=(const NonBlocking&) = delete;
  bool ok() const { return ok_; }

 private:
  int fd_, flags_;
  bool ok_ = false;
};

// Waits until the socket takes more bytes, at most until `deadline`
// (tick_ms; with no time-out, for as long as it takes). False on time-out.
bool wait_for_room(int fd, std::uint32_t timeout_ms, std::uint32_t deadline) {
  for (;;) {
    int wait = -1;
    if (timeout_ms != 0) {
      const std::int32_t left = std::int32_t(deadline - tick_ms());
      if (left <= 0) return false;
      wait = left;
    }
    pollfd p{fd, POLLOUT, 0};
    const int r = ::poll(&p, 1, wait);
    if (r > 0) return true;  // room, or an error that the next call reports
    if (r == 0) return false;
    if (errno != EINTR) return true;  // as above: the next call tells
  }
}

}  // namespace

bool ignore_broken_pipe_signal() {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  if (sigaction(SIGPIPE, &ignore, nullptr) != 0) return false;
  g_sigpipe_ignored.store(true);
  return true;
}

Transmit transmit_file(NativeHandle socket, const File& file, std::int64_t offset, std::int64_t length) {
  if (length <= 0) return Transmit::sent;
  if (offset < 0) return Transmit::unavailable;
  const int out = static_cast<int>(socket);
  const int in = static_cast<int>(file.native());
  // As TransmitFile on Windows: the file goes in pieces, and the send
  // time-out bounds each piece, never the whole transfer. (The kernel's own
  // time-out inside one sendfile() restarts whenever a few bytes trickle
  // into a reader's full buffer, and would keep a stopped reader for
  // several time-outs.)
  const std::uint32_t timeout = send_timeout_ms(out);
  const std::int64_t piece = transmit_piece_bytes(timeout);
  NonBlocking mode(out);
  if (!mode.ok()) return Transmit::unavailable;
  SigpipeBlocked quiet;
  off_t position = static_cast<off_t>(offset);
  std::int64_t left = length;
  bool any = false;
  while (left > 0) {
    std::int64_t piece_left = left < piece ? left : piece;
    const std::uint32_t deadline = tick_ms() + timeout;
    while (piece_left > 0) {
      const ssize_t n = ::sendfile(out, in, &position, static_cast<std::size_t>(piece_left));
      if (n > 0) {
        any = true;
        piece_left -= n;
        left -= n;
        continue;
      }
      if (n == 0) return Transmit::failed;  // the file ended before the range did
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        if (!wait_for_room(out, timeout, deadline)) return Transmit::failed;
        continue;
      }
      if (errno == EPIPE) quiet.consume();
      return !any && means_unsupported(errno) ? Transmit::unavailable : Transmit::failed;
    }
  }
  return Transmit::sent;
}

bool end_with_last_packet(NativeHandle s) {
  const int on = 1;
  return ::setsockopt(static_cast<int>(s), IPPROTO_TCP, TCP_CORK, &on, sizeof on) == 0;
}

}  // namespace platform
