// The one place where the Win32 layer includes the Windows headers.
//
// Winsock 2 must come before <windows.h>, or windows.h drags in the old
// winsock.h and the two collide. The build defines WIN32_LEAN_AND_MEAN and
// NOMINMAX as well; the guards keep a stand-alone compile identical.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN 1
#endif
#ifndef NOMINMAX
#define NOMINMAX 1
#endif
#ifndef UNICODE
#define UNICODE 1
#endif
#ifndef _UNICODE
#define _UNICODE 1
#endif

// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <shellapi.h>
#include <winhttp.h>
// clang-format on

#include <string>
#include <string_view>

#include "platform/platform.h"

namespace platform::win32 {

// mingw's wchar_t is 2 bytes, so UTF-16 text is passed to Windows as is.
static_assert(sizeof(wchar_t) == sizeof(char16_t), "wchar_t must be UTF-16");

inline const wchar_t* wide(const std::u16string& s) {
  return reinterpret_cast<const wchar_t*>(s.c_str());
}
inline const wchar_t* wide(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }
inline wchar_t* wide(char16_t* s) { return reinterpret_cast<wchar_t*>(s); }

// Views need a terminator before Windows sees them.
inline std::u16string terminated(std::u16string_view s) { return std::u16string(s); }

inline HANDLE to_handle(NativeHandle h) { return reinterpret_cast<HANDLE>(h); }
inline NativeHandle from_handle(HANDLE h) { return reinterpret_cast<NativeHandle>(h); }

}  // namespace platform::win32
