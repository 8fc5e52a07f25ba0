// Splitting a request head and the small lookups the handlers use on it.
// All 8-bit text; nothing here converts character sets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/handle.h"

inline constexpr std::size_t kMethodBytes = 16;    // at most 15 characters
inline constexpr std::size_t kTargetBytes = 2048;  // at most 2047 characters
inline constexpr std::size_t kRangeBytes = 128;    // at most 127 characters
inline constexpr std::size_t kDrainBlockBytes = 16384;

struct RequestHead {
  char method[kMethodBytes] = {};
  // The request target: the decoded path, a 0 where the first '?' stood,
  // then the raw query.
  char target[kTargetBytes] = {};
  const char* path = target;
  const char* query = "";
  // Every header line with its CR LF, then the blank line's CR LF; 0-terminated.
  std::unique_ptr<char[]> header_block;
  char range[kRangeBytes] = {};
  const char* body_prefix = nullptr;
  std::int32_t body_prefix_count = 0;
};

// Parses the head in `buffer` (0-terminated at `received`; `head_length` is
// the offset just past the blank line). Writes a 0 over the CR of the first
// line end. False when the request line lacks a method or target, or the
// header block cannot be allocated.
bool parse_request_head(char* buffer, std::int32_t received, std::int32_t head_length,
                        RequestHead* out);

// Percent and plus decoding in place; the result is never longer.
void url_decode(char* text);

// Value of the first header named `name` (ASCII case ignored), cut to
// capacity - 1 bytes; the empty text when there is none.
void find_header(const char* block, const char* name, char* dest, std::size_t capacity);

// The first Content-Length value, saturated to 64 bits; -1 when absent.
std::int64_t content_length(const char* block);

// Body bytes still to come: the Content-Length minus the body prefix, or 0
// when that is not positive. Compared before subtracting, so the most
// negative declared length cannot overflow.
std::int64_t outstanding_body(const RequestHead& head);

// Whether the client waits for "100 Continue" before it sends the body
// (an "Expect: 100-continue" header).
bool expects_continue(const char* header_block);

// Where every handler that reads a request body starts: a client that waits
// for it (Expect: 100-continue) and still has body bytes to send is told to
// send them now. A handler that refuses the request without reading the
// body never calls this, and answers at once. -1 when the send failed.
int start_body(platform::NativeHandle socket, const char* header_block, std::int32_t prefix_count);

// Reads and discards the outstanding body (after `start_body`), for the
// routes to which a body means nothing but that must take it off the
// connection before they answer.
void drain_request_body(platform::NativeHandle socket, const RequestHead& head);

// Receives and discards up to `count` bytes; stops early when the peer
// closes or a receive fails.
void drain_body(platform::NativeHandle socket, std::int64_t count);

// Decoded value of the first query parameter `name` (exact, case counts),
// cut to capacity - 1 bytes before decoding; empty when there is none.
void query_param(const char* query, const char* name, char* dest, std::size_t capacity);
