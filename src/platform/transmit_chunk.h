// How much of a file the zero-copy send hands the system at a time, on both
// systems. The send time-out bounds each such piece: a piece that is not
// taken within one time-out ends the transfer.
//
// A piece must be small enough that a slow but steady reader (a video played
// from the start of a long file) takes it well within one time-out, and
// large enough that the pieces cost nothing next to the bytes they move.
// When a piece starts, the buffers towards the reader may still be full
// from the one before, so the reader takes in at most one piece plus those
// buffers while it runs. With a piece of half a time-out's worth at the
// slowest reader served,
//   piece = time-out in s x 64 KiB/s / 2
// and buffers smaller than one piece (loopback keeps them well under that),
// the reader needs at most 2 x piece / rate = time-out x 64 KiB/s / rate:
// any reader faster than 64 KiB/s takes every piece within the time-out.
// For the two-minute time-out a piece is 120 x 65,536 / 2 = 3,932,160 bytes
// (3.75 MiB), which a reader at 64 KiB/s takes in 60 s. A reader that stops
// altogether is dropped at most one time-out later.
#pragma once

#include <cstdint>

namespace platform {

inline constexpr std::int64_t kSlowestReaderBytesPerSecond = 64 * 1024;
// Below this a piece would cost more than it sends (time-outs under 2 s).
inline constexpr std::int64_t kMinTransmitPiece = 64 * 1024;
// Windows sends at most 2^31 - 2 bytes per call; with no time-out, pieces
// this big.
inline constexpr std::int64_t kMaxTransmitPiece = std::int64_t(1) << 30;

// `timeout_ms` 0 means no time-out.
inline std::int64_t transmit_piece_bytes(std::uint32_t timeout_ms) {
  if (timeout_ms == 0) return kMaxTransmitPiece;
  const std::int64_t bytes = std::int64_t(timeout_ms) * kSlowestReaderBytesPerSecond / 1000 / 2;
  return bytes < kMinTransmitPiece ? kMinTransmitPiece : bytes > kMaxTransmitPiece ? kMaxTransmitPiece : bytes;
}

}  // namespace platform
