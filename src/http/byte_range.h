// The file response family: one rule for Range values, one writer that
// streams a file or one range of it, and the head-only forms.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/files.h"
#include "platform/handle.h"

inline constexpr std::size_t kStreamHeaderLimit = 768;
inline constexpr std::size_t kStaticHeadHeaderLimit = 512;
inline constexpr std::size_t kMediaHeadHeaderLimit = 640;
inline constexpr std::uint32_t kStreamBufferBytes = 65536;

struct RangeOutcome {
  std::int64_t first = 0;
  std::int64_t length = 0;
  bool partial = false;

  int status() const { return partial ? 206 : 200; }
  const char* reason() const { return partial ? "Partial Content" : "OK"; }
};

// The first range of a "bytes=" value, clamped to the file; a suffix range
// "-n" means the last n bytes. Anything it cannot grant means the whole
// file. Pure; rejects nothing.
RangeOutcome resolve_range(const char* range_value, std::int64_t size);

// Sends the header and `length` bytes from `first`. 0 when all went out (or
// length <= 0 and the header went out), -1 otherwise. A short body is read
// and sent with the header in one send; a longer one goes by the platform's
// zero-copy call, or by `send_file_by_copy` where that call is unavailable.
int stream_file_range(platform::NativeHandle socket, platform::File& file, std::int64_t first,
                      std::int64_t length, int status, const char* reason, const char* content_type,
                      std::int64_t total_size, bool partial);

// The body alone, read from `first` into one 64 KiB buffer and sent, piece
// by piece. 0 when all `length` bytes went out; -1 after a failed seek, read
// or send, or when the file ends before the range does.
int send_file_by_copy(platform::NativeHandle socket, platform::File& file, std::int64_t first,
                      std::int64_t length);

enum class HeadForm {
  static_site,  // no Access-Control-Allow-Origin line
  media,        // the whole-file header as GET sends it
};
// The answer to HEAD: the header that GET would send, without a body and
// without Content-Range.
int send_file_head(platform::NativeHandle socket, HeadForm form, const RangeOutcome& outcome,
                   const char* content_type);
