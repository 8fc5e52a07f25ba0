// Why an OS call failed, in the few kinds that callers decide on, with the
// system's own number kept for the log.
//
// A failing platform call either returns an `Error` or leaves one for
// `last_error()` to read right after it, on the same thread, before any
// other call; its contract says which.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

enum class ErrorKind : std::uint8_t {
  none,       // no failure
  not_found,  // the path, or a folder on its way, does not exist
  exists,     // something is already at the target
  busy,       // held open or locked by someone else; may pass if tried later
  no_space,   // the disk or the user's quota is full
  transient,  // out of a resource for the moment (descriptors, buffers)
  other,      // anything else: access denied, a device error, bad input
};

struct Error {
  ErrorKind kind = ErrorKind::none;
  // errno on POSIX; GetLastError() or WSAGetLastError() on Windows.
  std::int32_t code = 0;

  explicit operator bool() const { return kind != ErrorKind::none; }
};

// The kind of an OS error number (errno / Win32 or Winsock error code).
ErrorKind error_kind_of(std::int32_t code);

// The calling thread's last OS error, read at once after the failing call.
Error last_error();

// The kind's name as the log writes it: "not_found", "no_space", ...
const char* error_kind_name(ErrorKind kind);

// "no_space (28: No space left on device)": the kind, the number and the
// system's own text, on one line, for the log.
std::string describe(const Error& error);

}  // namespace platform
