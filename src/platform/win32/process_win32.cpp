// Environment, places, the single-instance mutex and child processes.
#include <algorithm>
#include <vector>

#include "platform/win32/win32.h"

namespace platform {

using win32::from_handle;
using win32::to_handle;
using win32::wide;

std::optional<std::u16string> env_value(std::u16string_view name, std::size_t max_units) {
  if (max_units == 0 || max_units > MAXDWORD) return std::nullopt;
  const std::u16string key = win32::terminated(name);
  std::vector<char16_t> buf(max_units);
  // The result counts the characters copied; when the buffer is too small it
  // is the size needed with the terminator, so >= max_units. 0: unset or empty.
  const DWORD n = ::GetEnvironmentVariableW(wide(key), wide(buf.data()),
                                            static_cast<DWORD>(max_units));
  if (n == 0 || n >= max_units) return std::nullopt;
  return std::u16string(buf.data(), n);
}

std::optional<std::u16string> expand_env(std::u16string_view text, std::size_t max_units) {
  if (max_units == 0 || max_units > MAXDWORD) return std::nullopt;
  const std::u16string source = win32::terminated(text);
  std::vector<char16_t> buf(max_units);
  // The result counts the terminator, whether it fitted or not.
  const DWORD n = ::ExpandEnvironmentStringsW(wide(source), wide(buf.data()),
                                              static_cast<DWORD>(max_units));
  if (n == 0 || n > max_units) return std::nullopt;
  return std::u16string(buf.data(), n - 1);
}

ExePath exe_path(std::size_t max_units) {
  ExePath out;
  if (max_units == 0 || max_units > MAXDWORD) return out;
  std::vector<char16_t> buf(max_units, u'\0');
  const DWORD n =
      ::GetModuleFileNameW(nullptr, wide(buf.data()), static_cast<DWORD>(max_units));
  out.length = n;
  // A cut path comes back as max_units; keep at most max_units - 1 units of
  // it so that it always fits a buffer of that size with its terminator.
  const std::size_t keep = std::min<std::size_t>(n, max_units - 1);
  out.path.assign(buf.data(), std::find(buf.data(), buf.data() + keep, u'\0'));
  return out;
}

std::optional<std::u16string> temp_folder() {
  // MAX_PATH + 1 is the largest result GetTempPathW can give.
  char16_t buf[MAX_PATH + 1];
  const DWORD n = ::GetTempPathW(MAX_PATH + 1, wide(buf));
  if (n == 0 || n > MAX_PATH) return std::nullopt;
  return std::u16string(buf, n);
}

std::uint32_t current_process_id() { return ::GetCurrentProcessId(); }

void exit_process(int code) { ::ExitProcess(static_cast<UINT>(code)); }

void InstanceLock::release() {
  if (h_ == kInvalidNative) return;
  ::ReleaseMutex(to_handle(h_));
  ::CloseHandle(to_handle(h_));
  h_ = kInvalidNative;
}

InstanceResult acquire_instance_lock(std::u16string_view name, InstanceLock* lock) {
  const std::u16string key = win32::terminated(name);
  HANDLE h = ::CreateMutexW(nullptr, TRUE, wide(key));
  if (h == nullptr) return InstanceResult::failed;
  // Read at once: the error code is only meaningful right after the call.
  const bool existed = ::GetLastError() == ERROR_ALREADY_EXISTS;
  // Either way the handle stays with the lock; a second instance simply
  // leaves it to the end of the process.
  lock->h_ = from_handle(h);
  return existed ? InstanceResult::already_running : InstanceResult::acquired;
}

void ProcessTraits::close(value_type h) { ::CloseHandle(to_handle(h)); }

Process start_process(const std::u16string& command_line, const ProcessOptions& options) {
  // CreateProcessW may write into the command line, so it gets its own copy.
  std::u16string command = command_line;
  STARTUPINFOW si{};
  si.cb = sizeof si;
  if (options.hidden) {
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
  }
  const DWORD flags = options.no_window ? CREATE_NO_WINDOW : 0;
  const wchar_t* folder =
      options.current_folder != nullptr ? wide(*options.current_folder) : nullptr;
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessW(nullptr, wide(command.data()), nullptr, nullptr, FALSE, flags, nullptr,
                        folder, &si, &pi)) {
    return Process();
  }
  ::CloseHandle(pi.hThread);
  return Process(from_handle(pi.hProcess));
}

bool wait_process(const Process& p, std::uint32_t ms) {
  if (!p) return false;
  return ::WaitForSingleObject(to_handle(p.get()), ms) == WAIT_OBJECT_0;
}

void open_with_default_handler(const std::u16string& url) {
  ::ShellExecuteW(nullptr, L"open", wide(url), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace platform
