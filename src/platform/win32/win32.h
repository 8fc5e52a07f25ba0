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
#include <objbase.h>
#include <shellapi.h>
#include <winhttp.h>
// clang-format on

#include <optional>
#include <string>
#include <string_view>

#include "platform/handle.h"
#include "platform/process.h"

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

// What CreateMutexW's outcome means for the single-instance marker: a
// handle to a mutex that existed before, or no handle because access was
// denied (the mutex exists but was made by an elevated copy, whose default
// security keeps a normal copy from opening it with MUTEX_ALL_ACCESS), is
// another instance; any other failure is a failure.
constexpr InstanceResult instance_result(bool got_handle, DWORD last_error) {
  if (got_handle)
    return last_error == ERROR_ALREADY_EXISTS ? InstanceResult::already_running
                                              : InstanceResult::acquired;
  return last_error == ERROR_ACCESS_DENIED ? InstanceResult::already_running
                                           : InstanceResult::failed;
}

// The full path that `start_process` hands CreateProcessW as the program
// when the command line names its program without a folder ("powershell.exe
// ..."): that name below `system_folder`, where Windows keeps the programs
// it ships (PowerShell in its own subfolder). Nullopt when the program is
// given with a folder or drive, which CreateProcessW then takes as written.
// Never the search order: it looks in the program's own folder and the
// current folder first, where a downloaded file of that name could sit.
std::optional<std::u16string> system_program_path(std::u16string_view command_line,
                                                  std::u16string_view system_folder);

// Initialises COM on the calling thread as a single-threaded apartment, the
// first time that thread calls it; later calls do nothing. The apartment
// stays for the life of the thread. A thread already in another apartment
// keeps it.
void ensure_com_apartment();

}  // namespace platform::win32
