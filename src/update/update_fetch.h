// The one network client of the program: an HTTPS GET against the update
// host, into an open file (archive download) or a bounded text buffer
// (manifest check).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/files.h"
#include "platform/https.h"

// Body bytes of one fetch may not add up to more than this (120 MiB); a
// total of exactly this much is still accepted.
inline constexpr std::uint64_t kUpdateBodyCap = 125829120;

// Time-outs per network step. A download may stream for a long time but
// never stall for long; a manifest check must not hold up start-up.
inline constexpr platform::HttpsTimeouts kFileTimeouts{4000, 4000, 30000, 180000};
inline constexpr platform::HttpsTimeouts kBufferTimeouts{4000, 4000, 8000, 8000};

// Where the body of one fetch goes, and how much of it has come so far.
struct FetchTarget {
  platform::File* file = nullptr;  // receives every byte, when given
  char* buffer = nullptr;          // receives what fits, 0-terminated
  std::size_t capacity = 0;        // of `buffer`, terminator included
  std::size_t* length = nullptr;   // bytes already in `buffer`
  std::uint64_t total = 0;         // body bytes seen
};

// Takes one block of the body: counts it against the cap, writes it to the
// file and appends what still fits to the buffer, dropping the rest without
// complaint. False (the fetch must end) past the cap or on a failed write.
bool take_body_block(FetchTarget& target, const char* data, std::size_t size);

// One GET of `path` (beginning with "/") on the update host. True when the
// answer was 200 and its body was read to the end. The file profile of
// time-outs applies when `file` is given, the buffer profile otherwise; text
// is appended only when both `buffer` and `length` are given. After a
// failure the file and the buffer may hold part of the body. `progress`,
// when given, watches the transfer and may cancel it (platform/https.h).
// Any thread; each call has its own connection.
bool fetch_update_host(std::u16string_view path, platform::File* file, char* buffer,
                       std::size_t capacity, std::size_t* length, const platform::HttpsProgress& progress = {});
