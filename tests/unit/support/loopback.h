// Loopback connections for tests: what the program itself never needs (it
// only listens), built beside the platform layer's sockets.
#pragma once

#include <cstdint>

#include "platform/net.h"

namespace test_support {

// Port of a bound socket (for listeners bound to port 0); 0 on failure.
std::uint16_t local_port(const platform::Socket& s);
// Connects a TCP socket to a loopback address.
bool connect_loopback(const platform::Socket& s, const char* address, std::uint16_t port);
// A connected pair of loopback stream sockets: a real TCP connection rather
// than socketpair(AF_UNIX), so that tests see the same stream semantics as
// a browser connection.
bool socket_pair(platform::Socket* a, platform::Socket* b);

}  // namespace test_support
