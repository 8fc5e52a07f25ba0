#include "platform/error.h"
#include "platform/win32/win32.h"

namespace platform {
namespace {
// ERROR_DISK_QUOTA_EXCEEDED, which mingw-w64's headers lack.
constexpr DWORD kErrorDiskQuotaExceeded = 1295;
}  // namespace

ErrorKind error_kind_of(std::int32_t code) {
  switch (static_cast<DWORD>(code)) {
    case ERROR_SUCCESS: return ErrorKind::none;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH: return ErrorKind::not_found;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
    case ERROR_DIR_NOT_EMPTY: return ErrorKind::exists;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE: return ErrorKind::busy;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case kErrorDiskQuotaExceeded: return ErrorKind::no_space;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
    case ERROR_TOO_MANY_OPEN_FILES:
    case WSAEMFILE:
    case WSAENOBUFS:
    case WSAECONNRESET:
    case WSAEINTR: return ErrorKind::transient;
    default: return ErrorKind::other;
  }
}

Error last_error() {
  const DWORD code = ::GetLastError();
  return Error{error_kind_of(static_cast<std::int32_t>(code)), static_cast<std::int32_t>(code)};
}

std::string describe(const Error& error) {
  std::string out = error_kind_name(error.kind);
  out += " (" + std::to_string(error.code);
  wchar_t text[256];
  const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                   static_cast<DWORD>(error.code), 0, text, 256, nullptr);
  if (n > 0) {
    int end = static_cast<int>(n);
    while (end > 0 && (text[end - 1] == L'\r' || text[end - 1] == L'\n' || text[end - 1] == L' ')) --end;
    char utf8[512];
    const int len = ::WideCharToMultiByte(CP_UTF8, 0, text, end, utf8, sizeof utf8, nullptr, nullptr);
    if (len > 0) out += ": " + std::string(utf8, static_cast<std::size_t>(len));
  }
  out += ")";
  return out;
}

}  // namespace platform
