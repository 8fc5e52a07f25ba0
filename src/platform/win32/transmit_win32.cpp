// Zero-copy file sending on Windows: TransmitFile reads the file through the
// system cache and sends it from the kernel.
#include <atomic>

#include "platform/files.h"
#include "platform/handle.h"
#include "platform/net.h"
#include "platform/transmit_chunk.h"
#include "platform/win32/win32.h"

// After win32.h, which brings in winsock2.h first as mswsock.h requires.
#include <mswsock.h>

namespace platform {
namespace {

// Client editions of Windows run at most two TransmitFile calls at once,
// system-wide, and a third one waits without sending anything until one of
// them ends. A paused video keeps its call going for as long as the browser
// does not read, so this process never has more than two under way: beyond
// that the caller's own copying loop serves the request at once, and no
// stream of ours ever waits behind another.
constexpr int kMaxInFlight = 2;
std::atomic<int> g_in_flight{0};

class InFlightSlot {
 public:
  InFlightSlot() {
    int now = g_in_flight.load();
    while (now < kMaxInFlight && !g_in_flight.compare_exchange_weak(now, now + 1)) {
    }
    taken_ = now < kMaxInFlight;
  }
  ~InFlightSlot() {
    if (taken_) g_in_flight.fetch_sub(1);
  }
  InFlightSlot(const InFlightSlot&) = delete;
  InFlightSlot& operator=(const InFlightSlot&) = delete;
  bool taken() const { return taken_; }

 private:
  bool taken_ = false;
};

// TransmitFile is a Winsock extension, found through a socket. Every TCP
// socket of this process has the same provider, so one look-up serves all.
LPFN_TRANSMITFILE transmit_function(SOCKET s) {
  static std::atomic<LPFN_TRANSMITFILE> cached{nullptr};
  LPFN_TRANSMITFILE f = cached.load();
  if (f != nullptr) return f;
  GUID id = WSAID_TRANSMITFILE;
  DWORD bytes = 0;
  if (::WSAIoctl(s, SIO_GET_EXTENSION_FUNCTION_POINTER, &id, sizeof id, &f, sizeof f, &bytes, nullptr,
                 nullptr) != 0) {
    return nullptr;
  }
  cached.store(f);
  return f;
}

// The socket's send time-out (INFINITE when none is set). An overlapped call
// does not heed it, so each call is waited for at most this long: the
// time-out bounds a stretch without progress, as it does for send().
DWORD send_timeout_ms(SOCKET s) {
  DWORD ms = 0;
  int len = sizeof ms;
  if (::getsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<char*>(&ms), &len) != 0 || ms == 0) return INFINITE;
  return ms;
}

struct EventTraits {
  using value_type = HANDLE;
  static value_type invalid() { return nullptr; }
  static void close(value_type h) { ::CloseHandle(h); }
};

enum class Step { done, failed, refused };

// One TransmitFile call, waited for at most `timeout` ms. `refused` means it
// failed at once, before starting.
Step transmit_chunk(LPFN_TRANSMITFILE transmit, SOCKET s, HANDLE file, std::int64_t offset, DWORD count,
                    DWORD timeout, DWORD* sent) {
  *sent = 0;
  UniqueHandle<EventTraits> event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!event) return Step::refused;
  OVERLAPPED ov{};
  ov.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(offset) & 0xFFFFFFFFu);
  ov.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
  ov.hEvent = event.get();
  if (!transmit(s, file, count, 0, &ov, nullptr, 0)) {
    const int error = ::WSAGetLastError();
    if (error != WSA_IO_PENDING && error != ERROR_IO_PENDING) return Step::refused;
    if (::WaitForSingleObject(ov.hEvent, timeout) != WAIT_OBJECT_0) {
      // Timed out: cancel, and let the cancellation finish before `ov`
      // leaves the stack.
      ::CancelIoEx(reinterpret_cast<HANDLE>(s), &ov);
      DWORD ignored = 0, flags = 0;
      ::WSAGetOverlappedResult(s, &ov, &ignored, TRUE, &flags);
      return Step::failed;
    }
  }
  DWORD flags = 0;
  if (!::WSAGetOverlappedResult(s, &ov, sent, FALSE, &flags)) return Step::failed;
  return Step::done;
}

}  // namespace

Transmit transmit_file(NativeHandle socket, const File& file, std::int64_t offset, std::int64_t length) {
  if (length <= 0) return Transmit::sent;
  if (offset < 0) return Transmit::unavailable;
  const SOCKET s = static_cast<SOCKET>(socket);
  InFlightSlot slot;
  if (!slot.taken()) return Transmit::unavailable;
  LPFN_TRANSMITFILE transmit = transmit_function(s);
  if (transmit == nullptr) return Transmit::unavailable;
  const DWORD timeout = send_timeout_ms(s);
  // One call per piece: the time-out bounds each call.
  const std::int64_t chunk = transmit_piece_bytes(timeout == INFINITE ? 0 : timeout);
  // The slot is held across every call: between two calls another stream
  // could take it, and this one would have to finish by copying.
  std::int64_t done = 0;
  while (done < length) {
    const std::int64_t left = length - done;
    const DWORD count = static_cast<DWORD>(left < chunk ? left : chunk);
    DWORD sent = 0;
    switch (transmit_chunk(transmit, s, win32::to_handle(file.native()), offset + done, count, timeout, &sent)) {
      case Step::refused: return done == 0 ? Transmit::unavailable : Transmit::failed;
      case Step::failed: return Transmit::failed;
      case Step::done: break;
    }
    if (sent != count) return Transmit::failed;  // the file ended before the range did
    done += sent;
  }
  return Transmit::sent;
}

bool end_with_last_packet(NativeHandle) { return false; }

}  // namespace platform
