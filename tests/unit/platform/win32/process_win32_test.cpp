// The Windows process layer's own rules: what CreateMutexW's outcome means
// for the single-instance marker, where a program named without a folder is
// started from, and the COM apartment the default-handler call runs in.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "base/bounded_format.h"
#include "platform/process.h"
#include "platform/win32/win32.h"
// After windows.h, whose definitions it needs.
#include <sddl.h>

namespace {

using platform::InstanceResult;
using platform::win32::instance_result;
using platform::win32::system_program_path;

TEST(InstanceMutexOutcome, AccessDeniedMeansAnotherInstance) {
  struct Case {
    bool got_handle;
    DWORD error;
    InstanceResult expected;
  };
  const Case cases[] = {
      {true, ERROR_SUCCESS, InstanceResult::acquired},
      {true, ERROR_ALREADY_EXISTS, InstanceResult::already_running},
      // The mutex of an elevated copy: it exists, but may not be opened.
      {false, ERROR_ACCESS_DENIED, InstanceResult::already_running},
      // The name belongs to an object of another kind.
      {false, ERROR_INVALID_HANDLE, InstanceResult::failed},
      {false, ERROR_PATH_NOT_FOUND, InstanceResult::failed},
      {false, ERROR_NOT_ENOUGH_MEMORY, InstanceResult::failed},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(instance_result(c.got_handle, c.error), c.expected)
        << "handle " << c.got_handle << ", error " << c.error;
  }
}

TEST(InstanceMutexOutcome, AMutexThatMayNotBeOpenedIsAnotherInstance) {
  // What an elevated copy leaves a normal one: a mutex of that name whose
  // security grants nothing beyond waiting on it, so that CreateMutexW,
  // which asks for MUTEX_ALL_ACCESS, is refused.
  const std::u16string name =
      u"Local\\VesklarDenied-" + base::widen_ascii(std::to_string(::GetCurrentProcessId()));
  PSECURITY_DESCRIPTOR sd = nullptr;
  ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;0x00100000;;;WD)",
                                                                     SDDL_REVISION_1, &sd, nullptr));
  SECURITY_ATTRIBUTES sa{sizeof sa, sd, FALSE};
  HANDLE first = ::CreateMutexW(&sa, TRUE, platform::win32::wide(name));
  ::LocalFree(sd);
  ASSERT_NE(first, nullptr);

  platform::InstanceLock second;
  EXPECT_EQ(platform::acquire_instance_lock(name, &second), InstanceResult::already_running);
  second.release();
  ::ReleaseMutex(first);
  ::CloseHandle(first);
}

TEST(SystemProgramPath, BareNamesComeFromTheSystemFolderOnly) {
  const std::u16string sys = u"C:\\Windows\\system32";
  struct Case {
    const char16_t* line;
    const char16_t* expected;  // null: taken as written
  };
  const Case cases[] = {
      {u"powershell.exe -NoProfile -File \"x.ps1\"",
       u"C:\\Windows\\system32\\WindowsPowerShell\\v1.0\\powershell.exe"},
      {u"PowerShell.EXE -Command x",
       u"C:\\Windows\\system32\\WindowsPowerShell\\v1.0\\powershell.exe"},
      {u"\"powershell.exe\" -Command x",
       u"C:\\Windows\\system32\\WindowsPowerShell\\v1.0\\powershell.exe"},
      {u"powershell.exe", u"C:\\Windows\\system32\\WindowsPowerShell\\v1.0\\powershell.exe"},
      {u"cmd.exe /c echo", u"C:\\Windows\\system32\\cmd.exe"},
      {u"cmd\t/c echo", u"C:\\Windows\\system32\\cmd.exe"},
      {u"\"C:\\Program Files\\Edge\\msedge.exe\" --app=x", nullptr},
      {u"C:\\tools\\powershell.exe -x", nullptr},
      {u".\\powershell.exe -x", nullptr},
      {u"sub/powershell.exe", nullptr},
      {u"C:powershell.exe", nullptr},
      {u"", nullptr},
      {u"\"\" x", nullptr},
  };
  for (const Case& c : cases) {
    const auto got = system_program_path(c.line, sys);
    const std::string shown(c.line, c.line + std::char_traits<char16_t>::length(c.line));
    if (c.expected == nullptr) {
      EXPECT_FALSE(got.has_value()) << shown;
    } else {
      ASSERT_TRUE(got.has_value()) << shown;
      EXPECT_TRUE(*got == c.expected) << shown;
    }
  }
}

TEST(ComApartment, OneSingleThreadedApartmentPerThread) {
  HRESULT multithreaded_while_in = S_OK;
  HRESULT multithreaded_after_one_exit = E_FAIL;
  std::thread([&] {
    platform::win32::ensure_com_apartment();
    platform::win32::ensure_com_apartment();
    // Single-threaded: the thread cannot turn multithreaded now.
    multithreaded_while_in = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    // Entered once only: one exit leaves the thread without COM.
    ::CoUninitialize();
    multithreaded_after_one_exit = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(multithreaded_after_one_exit)) ::CoUninitialize();
  }).join();
  EXPECT_EQ(multithreaded_while_in, RPC_E_CHANGED_MODE);
  EXPECT_EQ(multithreaded_after_one_exit, S_OK);
}

}  // namespace
