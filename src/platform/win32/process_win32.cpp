// Environment, places, the single-instance mutex and child processes.
#include <algorithm>
#include <array>
#include <vector>

#include "platform/handle.h"
#include "platform/process.h"
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

// ExitProcess stops the other threads wherever they are and then runs every
// DLL's detach code, which deadlocks if a stopped thread held a lock that
// code takes (Wine showed it: threads in socket calls at exit left the
// process hanging). TerminateProcess on the current process skips the
// detach code and does not return; ExitProcess is only a fallback.
void end_process_abruptly(int code) {
  ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(code));
  ::ExitProcess(static_cast<UINT>(code));
}

void InstanceLock::release() {
  if (h_ == kInvalidNative) return;
  ::ReleaseMutex(to_handle(h_));
  ::CloseHandle(to_handle(h_));
  h_ = kInvalidNative;
}

InstanceResult acquire_instance_lock(std::u16string_view name, InstanceLock* lock) {
  const std::u16string key = win32::terminated(name);
  HANDLE h = ::CreateMutexW(nullptr, TRUE, wide(key));
  // Read at once: the error code is only meaningful right after the call.
  const DWORD error = ::GetLastError();
  // Any handle stays with the lock; a second instance simply leaves it to
  // the end of the process.
  if (h != nullptr) lock->h_ = from_handle(h);
  return win32::instance_result(h != nullptr, error);
}

namespace {

// Programs of Windows that are not directly in the system folder, by the
// name a command line starts them with.
struct SystemProgram {
  std::u16string_view name;
  std::u16string_view below_system_folder;
};
constexpr std::array<SystemProgram, 1> kSystemPrograms{{
    {u"powershell.exe", u"\\WindowsPowerShell\\v1.0\\powershell.exe"},
}};

bool same_ascii_letters(std::u16string_view a, std::u16string_view b) {
  const auto lower = [](char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
  };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char16_t x, char16_t y) {
           return lower(x) == lower(y);
         });
}

// The program a command line starts, read as CreateProcessW reads it: up to
// the closing quote when it begins with one, else up to the first blank.
std::u16string_view program_token(std::u16string_view line) {
  if (!line.empty() && line.front() == u'"') {
    line.remove_prefix(1);
    return line.substr(0, line.find(u'"'));
  }
  return line.substr(0, line.find_first_of(u" \t"));
}

// The system folder without a trailing separator; empty when it cannot be
// read. MAX_PATH + 1 units hold any system folder with its terminator.
std::u16string system_folder() {
  char16_t buf[MAX_PATH + 1];
  const UINT n = ::GetSystemDirectoryW(wide(buf), MAX_PATH + 1);
  if (n == 0 || n > MAX_PATH) return std::u16string();
  return std::u16string(buf, n);
}

}  // namespace

namespace win32 {

std::optional<std::u16string> system_program_path(std::u16string_view command_line,
                                                 std::u16string_view system_folder) {
  const std::u16string_view name = program_token(command_line);
  if (name.empty() || name.find_first_of(u"\\/:") != std::u16string_view::npos) return std::nullopt;
  std::u16string path(system_folder);
  for (const SystemProgram& p : kSystemPrograms) {
    if (same_ascii_letters(name, p.name)) return path += p.below_system_folder;
  }
  path += u'\\';
  path += name;
  // As CreateProcessW assumes for a name without an extension; an
  // application name is taken exactly as written.
  if (name.find(u'.') == std::u16string_view::npos) path += u".exe";
  return path;
}

}  // namespace win32

void ProcessTraits::close(value_type h) { ::CloseHandle(to_handle(h)); }

Process start_process(const std::u16string& command_line, const ProcessOptions& options) {
  // A program named without a folder is taken from the system folder only.
  const std::u16string system = system_folder();
  const std::optional<std::u16string> application =
      win32::system_program_path(command_line, system);
  if (application && system.empty()) return Process();
  // CreateProcessW may write into the command line, so it gets its own copy;
  // the child sees it exactly as given.
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
  const wchar_t* program = application ? wide(*application) : nullptr;
  if (!::CreateProcessW(program, wide(command.data()), nullptr, nullptr, FALSE, flags, nullptr,
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

namespace win32 {

void ensure_com_apartment() {
  thread_local bool tried = false;
  if (tried) return;
  tried = true;
  // Never balanced by CoUninitialize: the apartment lasts as long as the
  // thread, and a thread-exit hook would run it under the loader lock.
  // RPC_E_CHANGED_MODE (the thread is already multithreaded) is no obstacle:
  // ShellExecuteW then runs in that apartment.
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
}

}  // namespace win32

void open_with_default_handler(const std::u16string& url) {
  // ShellExecuteW may hand the call to shell extensions made with COM, some
  // of which need a single-threaded apartment.
  win32::ensure_com_apartment();
  ::ShellExecuteW(nullptr, L"open", wide(url), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace platform
