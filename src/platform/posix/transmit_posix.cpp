// Zero-copy file sending on Linux: sendfile() moves the bytes from the page
// cache to the socket inside the kernel.
#include <signal.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <time.h>

#include <cerrno>

#include "platform/platform.h"

namespace platform {
namespace {

// sendfile() has no MSG_NOSIGNAL. A peer that has gone would raise SIGPIPE,
// whose default action ends the process, so the call runs with SIGPIPE
// blocked in this thread, and the SIGPIPE that a broken connection raised is
// taken off the queue before the old mask returns.
class SigpipeBlocked {
 public:
  SigpipeBlocked() {
    sigemptyset(&pipe_);
    sigaddset(&pipe_, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe_, &old_);
  }
  // After EPIPE. When SIGPIPE was not blocked before, nothing else can have
  // left one pending in this thread, so the one found is ours.
  void consume() {
    if (sigismember(&old_, SIGPIPE)) return;
    const timespec now{0, 0};
    while (sigtimedwait(&pipe_, nullptr, &now) < 0 && errno == EINTR) {
    }
  }
  ~SigpipeBlocked() { pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
  SigpipeBlocked(const SigpipeBlocked&) = delete;
  SigpipeBlocked& operator=(const SigpipeBlocked&) = delete;

 private:
  sigset_t pipe_, old_;
};

// Errors that mean "this descriptor pair cannot be spliced", as opposed to
// a connection or disk failure that the copying loop would meet as well.
bool means_unsupported(int error) {
  return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == ENOTSUP || error == ESPIPE ||
         error == EOVERFLOW;
}

}  // namespace

Transmit transmit_file(NativeHandle socket, const File& file, std::int64_t offset, std::int64_t length) {
  if (length <= 0) return Transmit::sent;
  if (offset < 0) return Transmit::unavailable;
  // One call moves at most this much (the kernel's own cap is a little
  // under 2 GiB).
  constexpr std::int64_t kMaxChunk = std::int64_t(1) << 30;
  const int out = static_cast<int>(socket);
  const int in = static_cast<int>(file.native());
  SigpipeBlocked quiet;
  off_t position = static_cast<off_t>(offset);
  std::int64_t left = length;
  bool any = false;
  while (left > 0) {
    const ssize_t n = ::sendfile(out, in, &position, static_cast<std::size_t>(left < kMaxChunk ? left : kMaxChunk));
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EPIPE) quiet.consume();
      return !any && means_unsupported(errno) ? Transmit::unavailable : Transmit::failed;
    }
    if (n == 0) return Transmit::failed;  // the file ended before the range did
    any = true;
    left -= n;
  }
  return Transmit::sent;
}

int send_some_before_more(NativeHandle s, const void* buf, int len) {
  if (len < 0) return -1;
  ssize_t n;
  do {
    n = ::send(static_cast<int>(s), buf, static_cast<std::size_t>(len), MSG_MORE | MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  return static_cast<int>(n);
}

}  // namespace platform
