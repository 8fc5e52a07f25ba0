// Stands in for a browser or for powershell.exe in the system tests under
// Wine: it appends the command line it was started with, as UTF-16LE text
// and a line feed, to "<its own path>.log", and ends with code 0. Copied to
// a browser's place (or beside Vesklar.exe as powershell.exe), it shows the
// tests exactly what the launcher started. With VESKLAR_FAKE_SLEEP_MS set,
// it stays that long after recording, as a program that hangs would.
#include <windows.h>

#include <cstdlib>

namespace {

// Appends `bytes` to the log. A second start that races this one finds the
// file locked (no sharing), so it tries again for a while.
bool append(const wchar_t* log, const void* bytes, DWORD size) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    HANDLE h = CreateFileW(log, FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      DWORD written = 0;
      const BOOL ok = WriteFile(h, bytes, size, &written, nullptr);
      CloseHandle(h);
      return ok && written == size;
    }
    Sleep(20);
  }
  return false;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t log[MAX_PATH + 8];
  const DWORD n = GetModuleFileNameW(nullptr, log, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return 2;
  lstrcpyW(log + n, L".log");
  const wchar_t* line = GetCommandLineW();
  const wchar_t end = L'\n';
  if (!append(log, line, static_cast<DWORD>(lstrlenW(line) * sizeof(wchar_t))) ||
      !append(log, &end, sizeof end)) {
    return 3;
  }
  wchar_t sleep_ms[16];
  const DWORD got = GetEnvironmentVariableW(L"VESKLAR_FAKE_SLEEP_MS", sleep_ms, 16);
  if (got > 0 && got < 16) Sleep(static_cast<DWORD>(_wtoi(sleep_ms)));
  return 0;
}
