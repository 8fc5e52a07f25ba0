// Chooses the one handler for a parsed request, and answers the quit
// beacon, OPTIONS and unrouted methods itself.
#pragma once

#include <cstdint>

#include "http/request_head.h"
#include "http/server_context.h"
#include "platform/handle.h"

inline constexpr std::uint32_t kQuitGraceMs = 1600;

// The quit beacon and the page messages change `context.lifecycle`; the
// handlers only read the context.
void route_request(ServerContext& context, platform::NativeHandle socket, const RequestHead& head);
