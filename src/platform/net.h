// Loopback TCP sockets for the server, and the zero-copy send of a file.
//
// Every function may be called from any thread, each connection by one
// thread at a time; failures are return values, never exceptions.
#pragma once

#include <cstdint>

#include "platform/error.h"
#include "platform/files.h"
#include "platform/handle.h"

namespace platform {

struct SocketTraits {
  using value_type = NativeHandle;
  static value_type invalid() { return kInvalidNative; }
  static void close(value_type s);
};
using Socket = UniqueHandle<SocketTraits>;

// Starts / ends the socket library (WSAStartup 2.2 / nothing on POSIX).
bool net_startup();
void net_cleanup();

Socket tcp_socket();
// Lets a listener bind again at once after a restart, while no other
// program can share its port: SO_REUSEADDR on Linux (which never lets two
// listeners share a port) and SO_EXCLUSIVEADDRUSE on Windows (where
// SO_REUSEADDR would let a second program take the port over). Server-side
// TIME_WAIT entries do not stop either from binding. The result is the
// setsockopt outcome.
bool set_listener_address_option(const Socket& s);
bool bind_loopback(const Socket& s, const char* address, std::uint16_t port);
bool listen_on(const Socket& s, int backlog);
// Lets the system hold a new connection back from `accept_connection` until
// its first bytes have arrived (or about `seconds` have passed without any),
// so the thread that accepts it finds its request there instead of waiting
// for it. Linux: TCP_DEFER_ACCEPT. Windows has no such setting for accept():
// false there, and nothing changes. Only for a server whose clients speak
// first, as HTTP clients do.
bool defer_accept_until_data(const Socket& s, std::uint32_t seconds);
// Blocks until a connection arrives; invalid on any failure, including the
// listener being closed by `close_listener` from another thread. On failure
// `*error` (when not null) has the kind `transient` when the failure passes
// by itself (out of descriptors or buffers for the moment, a connection
// reset while it waited), so accepting again later can succeed, and `other`
// for anything else, a closed listener included; its code is the system's.
Socket accept_connection(NativeHandle listener, Error* error = nullptr);
// Closes a listener so that a thread blocked in `accept_connection` wakes up.
void close_listener(Socket& s);
// Receive and send time-outs in milliseconds; results ignored by callers.
void set_timeouts(NativeHandle s, std::uint32_t recv_ms, std::uint32_t send_ms);
// As recv()/send(): bytes moved, 0 when the peer closed, < 0 on failure or
// time-out. `send_some` never raises SIGPIPE.
int recv_some(NativeHandle s, void* buf, int len);
int send_some(NativeHandle s, const void* buf, int len);
// Ends the sending side of a connection: the peer sees the end of the data
// after every byte already sent, and receiving goes on. False when the
// connection is gone already.
bool shutdown_send(NativeHandle s);
// Whether received bytes wait to be read at this moment; never blocks.
bool receive_pending(NativeHandle s);

// Sends `length` bytes of `file`, starting at byte `offset` of the file, on
// the connected socket without copying them through this process: sendfile()
// on Linux, TransmitFile on Windows. The bytes on the wire are exactly those
// of the file; the file position is not used and is left unspecified.
// Result:
//  - sent: every byte went out;
//  - failed: a send failed or timed out (the socket's send time-out holds as
//    for `send_some`), or the file ended before the range did; some bytes
//    may have gone out, and the caller must stop;
//  - unavailable: nothing was sent because this file or socket cannot be
//    sent this way (or, on Windows, the two zero-copy transfers that client
//    editions run at once are both taken by this process); the caller sends
//    the bytes itself.
// Never raises SIGPIPE. Any thread; each call needs its own socket.
enum class Transmit { sent, failed, unavailable };
Transmit transmit_file(NativeHandle socket, const File& file, std::int64_t offset, std::int64_t length);
// For an answer after which the connection ends: from now on the system may
// hold partly filled packets back until the socket is closed or its sending
// side shut down. An answer's header then waits for its body, and the last
// packet leaves together with the end of the connection: packets fewer for
// both sides. Full packets go at once, and nothing waits longer than the
// system's ceiling (200 ms on Linux). TCP_CORK on Linux; on Windows nothing
// (false).
bool end_with_last_packet(NativeHandle s);

}  // namespace platform
