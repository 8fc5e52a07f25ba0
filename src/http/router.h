// Chooses the one handler for a parsed request, and answers the quit
// beacon, OPTIONS and unrouted methods itself.
#pragma once

#include <cstdint>

#include "http/request_head.h"
#include "platform/handle.h"

inline constexpr std::uint32_t kQuitGraceMs = 1600;

void route_request(platform::NativeHandle socket, const RequestHead& head);
