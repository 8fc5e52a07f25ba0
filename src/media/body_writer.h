// Writing request bodies into files: the upload's staging file and the
// exported file in Downloads. The body never sits in memory as a whole.
#pragma once

#include <cstdint>

#include "platform/files.h"
#include "platform/handle.h"

inline constexpr std::uint32_t kBodyBufferBytes = 65536;

// Stores exactly `length` body bytes in `file`: the first min(prefix_count,
// length) bytes of the prefix that came with the head, then the rest from the
// socket through one 64 KiB buffer, after `start_body` has asked a client
// that waits (Expect: 100-continue) to send it. False when a receive returns 0 or less
// (peer gone, error, time-out) or a write fails; the caller removes the file.
bool store_body(platform::NativeHandle socket, platform::File& file, const char* header_block,
                const char* prefix, std::int32_t prefix_count, std::int64_t length);
