// The end of a connection whose request body may still be on its way.
//
// An answer can go out before the body was read: a refused host or origin,
// a missing length, a disk that cannot take an upload or a save, an update
// refusal. Closing the socket then, with body bytes unread or still
// arriving, makes the system reset the connection, and a client that is
// still sending (a browser uploading a large file) loses the answer with it
// and reports a network error instead. So such a connection lingers first:
// the sending side is shut down, which tells the client the answer is
// complete, and what it still sends is read and dropped until it closes its
// side, within the bounds below. Only then is the socket closed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "http/request_head.h"
#include "platform/handle.h"

// The whole linger, and each wait for more bytes within it: a client that
// keeps sending is given this long to finish, one that goes quiet without
// closing is left after the shorter wait.
inline constexpr std::uint32_t kLingerMs = 20000;
inline constexpr std::uint32_t kLingerQuietMs = 2000;
// At most this much is read and dropped: a large video upload answered at
// once still ends gracefully, on loopback within a few seconds.
inline constexpr std::int64_t kLingerMaxBytes = std::int64_t(1) << 30;
inline constexpr std::size_t kLingerBlockBytes = 65536;

// True when the client may still send after the answer: the head announces
// body bytes beyond those that came with it, or a body of a length it does
// not give (Transfer-Encoding), or bytes wait unread at this moment.
bool client_may_still_send(platform::NativeHandle socket, const RequestHead& head);

// Shuts the sending side down, then reads and drops what arrives until the
// client closes, a receive fails or waits kLingerQuietMs, kLingerMaxBytes
// were read or kLingerMs have passed. Changes the socket's time-outs; the
// caller closes the socket afterwards.
void linger_before_close(platform::NativeHandle socket);
