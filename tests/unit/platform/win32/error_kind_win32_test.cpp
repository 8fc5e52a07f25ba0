// The Win32 and Winsock table: every code the kinds name, and some that
// are none of them.
#include <gtest/gtest.h>

#include <cstdint>

#include "platform/error.h"

namespace {

using platform::ErrorKind;

struct KindCase {
  std::int32_t code;
  ErrorKind kind;
};

// The numbers as Windows documents them (winerror.h, winsock2.h).
const KindCase kKinds[] = {
    {0, ErrorKind::none},
    {2, ErrorKind::not_found},       // ERROR_FILE_NOT_FOUND
    {3, ErrorKind::not_found},       // ERROR_PATH_NOT_FOUND
    {15, ErrorKind::not_found},      // ERROR_INVALID_DRIVE
    {53, ErrorKind::not_found},      // ERROR_BAD_NETPATH
    {80, ErrorKind::exists},         // ERROR_FILE_EXISTS
    {183, ErrorKind::exists},        // ERROR_ALREADY_EXISTS
    {145, ErrorKind::exists},        // ERROR_DIR_NOT_EMPTY
    {32, ErrorKind::busy},           // ERROR_SHARING_VIOLATION
    {33, ErrorKind::busy},           // ERROR_LOCK_VIOLATION
    {1224, ErrorKind::busy},         // ERROR_USER_MAPPED_FILE
    {112, ErrorKind::no_space},      // ERROR_DISK_FULL
    {39, ErrorKind::no_space},       // ERROR_HANDLE_DISK_FULL
    {1295, ErrorKind::no_space},     // ERROR_DISK_QUOTA_EXCEEDED
    {8, ErrorKind::transient},       // ERROR_NOT_ENOUGH_MEMORY
    {14, ErrorKind::transient},      // ERROR_OUTOFMEMORY
    {4, ErrorKind::transient},       // ERROR_TOO_MANY_OPEN_FILES
    {10024, ErrorKind::transient},   // WSAEMFILE
    {10055, ErrorKind::transient},   // WSAENOBUFS
    {10054, ErrorKind::transient},   // WSAECONNRESET
    {10004, ErrorKind::transient},   // WSAEINTR
    {5, ErrorKind::other},           // ERROR_ACCESS_DENIED
    {87, ErrorKind::other},          // ERROR_INVALID_PARAMETER
    {10022, ErrorKind::other},       // WSAEINVAL
};

TEST(ErrorKindWin32, EveryCodeHasItsKind) {
  for (const KindCase& c : kKinds) {
    EXPECT_EQ(platform::error_kind_of(c.code), c.kind) << "code " << c.code;
  }
}

}  // namespace
