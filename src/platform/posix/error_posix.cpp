#include <cerrno>
#include <cstring>
#include <type_traits>

#include "platform/error.h"

namespace platform {

ErrorKind error_kind_of(std::int32_t code) {
  switch (code) {
    case 0: return ErrorKind::none;
    case ENOENT:
    case ENOTDIR: return ErrorKind::not_found;
    case EEXIST:
    case ENOTEMPTY: return ErrorKind::exists;
    case EBUSY:
    case ETXTBSY:
    case EAGAIN: return ErrorKind::busy;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return ErrorKind::no_space;
    case EMFILE:
    case ENFILE:
    case ENOBUFS:
    case ENOMEM:
    case EINTR:
    case ECONNABORTED: return ErrorKind::transient;
    default: return ErrorKind::other;
  }
}

Error last_error() {
  const int code = errno;
  return Error{error_kind_of(code), code};
}

std::string describe(const Error& error) {
  char text[128];
  // The GNU strerror_r returns its text (maybe a static one), the XSI one
  // fills the buffer; both are thread-safe, unlike strerror.
  const auto result = ::strerror_r(error.code, text, sizeof text);
  const char* what = text;
  if constexpr (std::is_same_v<std::remove_cv_t<decltype(result)>, char*>) what = result;
  std::string out = error_kind_name(error.kind);
  out += " (" + std::to_string(error.code) + ": " + what + ")";
  return out;
}

}  // namespace platform
