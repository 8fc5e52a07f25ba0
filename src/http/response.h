// The simple response family: status line, five fixed header lines, blank
// line and a short text body, in one template.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/handle.h"

inline constexpr std::size_t kSimpleHeaderLimit = 512;
// Bodies up to this size are sent together with the header.
inline constexpr std::size_t kInlineBodyBytes = 1024;

// Sends `length` bytes, resuming partial sends. 0 when all went out, -1 at
// the first send that returns 0 or less.
int send_all(platform::NativeHandle socket, const char* data, std::int64_t length);

// Writes one complete response. `body` may be null (empty). 0 on success;
// -1 when the header would exceed 512 bytes (nothing sent) or a send failed.
int send_response(platform::NativeHandle socket, int status, const char* reason,
                  const char* content_type, const char* body);
