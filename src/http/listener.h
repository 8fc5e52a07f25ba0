// The accept thread and the per-connection workers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

inline constexpr std::size_t kHeadBufferBytes = 65536;  // at most 65,535 received
inline constexpr std::uint32_t kConnectionTimeoutMs = 120000;

// Accepts connections until the server running flag is cleared or the
// listener is closed, giving each its own detached worker. Never closes the
// listener.
void accept_loop(platform::NativeHandle listener);

// A worker's whole life: read the head, parse, route, close. Owns `socket`.
void handle_connection(platform::Socket socket);
