// Environment places, expansion, the executable path and the instance lock
// of the POSIX layer.
#include <gtest/gtest.h>
#include <unistd.h>

#include <optional>
#include <string>

#include "platform/files.h"
#include "platform/posix/posix_path.h"
#include "platform/posix/scoped_env.h"
#include "platform/process.h"
#include "platform/text.h"
#include "support/temp_dir.h"

namespace {

using platform::posix::to_native;
using platform_test::ScopedEnv;

const char* const kUnset = nullptr;

TEST(EnvValue, MapsWindowsPlacesOntoLinuxOnes) {
  struct Row {
    const char* xdg_data;
    const char* home;
    const char* tmpdir;
    const char16_t* name;
    std::optional<std::u16string> expected;
  };
  const Row rows[] = {
      {"/x/data", "/home/u", kUnset, u"LOCALAPPDATA", u"\\x\\data"},
      {"", "/home/u", kUnset, u"LOCALAPPDATA", u"\\home\\u\\.local\\share"},
      {kUnset, "/home/u", kUnset, u"LocalAppData", u"\\home\\u\\.local\\share"},
      {kUnset, kUnset, kUnset, u"LOCALAPPDATA", std::nullopt},
      {kUnset, "/home/u", kUnset, u"USERPROFILE", u"\\home\\u"},
      {kUnset, "", kUnset, u"USERPROFILE", std::nullopt},
      {kUnset, kUnset, "/var/tmp", u"TEMP", u"\\var\\tmp"},
      {kUnset, kUnset, kUnset, u"TMP", u"\\tmp"},
      {kUnset, kUnset, kUnset, u"VESKLAR_TEST_PLAIN", u"a/b\\c"},  // other names: as they are
      {kUnset, kUnset, kUnset, u"vesklar_test_plain", std::nullopt},
      {kUnset, kUnset, kUnset, u"VESKLAR_TEST_EMPTY", std::nullopt},
      {kUnset, kUnset, kUnset, u"VESKLAR_TEST_UNSET", std::nullopt},
  };
  for (const Row& r : rows) {
    ScopedEnv env{{"XDG_DATA_HOME", r.xdg_data}, {"HOME", r.home}, {"TMPDIR", r.tmpdir},
                  {"VESKLAR_TEST_PLAIN", "a/b\\c"}, {"VESKLAR_TEST_EMPTY", ""}, {"VESKLAR_TEST_UNSET", kUnset}};
    EXPECT_EQ(platform::env_value(r.name, platform::kPathUnits), r.expected) << platform::utf16_to_utf8(r.name);
  }
}

TEST(ExpandEnv, ReplacesKnownNamesAndKeepsTheRest) {
  ScopedEnv env{{"XDG_DATA_HOME", kUnset}, {"HOME", "/home/u"}, {"V", "v"}, {"ProgramFiles(x86)", kUnset}};
  struct Row {
    const char16_t* text;
    const char16_t* expected;
  };
  const Row rows[] = {
      {u"%LocalAppData%\\Microsoft\\msedge.exe", u"\\home\\u\\.local\\share\\Microsoft\\msedge.exe"},
      {u"%ProgramFiles(x86)%\\Google\\chrome.exe", u"%ProgramFiles(x86)%\\Google\\chrome.exe"},
      {u"%V%%V%", u"vv"},
      {u"a%%b", u"a%%b"},
      {u"50% of %V%", u"50% of %V%"},  // "% of " is taken as an unknown name
      {u"%UNSET_NAME%V%", u"%UNSET_NAME%V%"},  // the scan goes on after the closing %
      {u"%V", u"%V"},
      {u"", u""},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(platform::expand_env(r.text, platform::kPathUnits), std::u16string(r.expected))
        << platform::utf16_to_utf8(r.text);
  }
  EXPECT_EQ(platform::expand_env(u"x%V%", 3), u"xv");
  EXPECT_EQ(platform::expand_env(u"x%V%", 2), std::nullopt);
}

TEST(TempFolder, EndsWithOneSeparator) {
  const std::pair<const char*, const char16_t*> rows[] = {
      {"/var/tmp", u"\\var\\tmp\\"}, {"/var/tmp/", u"\\var\\tmp\\"}, {"", u"\\tmp\\"}, {kUnset, u"\\tmp\\"}};
  for (const auto& [tmpdir, expected] : rows) {
    ScopedEnv env{{"TMPDIR", tmpdir}};
    EXPECT_EQ(platform::temp_folder(), std::u16string(expected));
  }
}

TEST(ExePath, IsTheRunningProgramInBackslashForm) {
  const platform::ExePath self = platform::exe_path(4096);
  ASSERT_GT(self.length, 1u);
  EXPECT_EQ(self.path[0], u'\\');
  EXPECT_EQ(self.path.find(u'/'), std::u16string::npos);
  EXPECT_EQ(platform::file_attributes(self.path) & platform::kAttrDirectory, 0u);  // exists, not a folder
  EXPECT_EQ(platform::exe_path(0).length, 0u);
}

// The lock file lies in the runtime folder, or in /tmp with the user id in
// its name; a folder that does not exist or a planted link means failure.
TEST(InstanceLock, PlaceOfTheLockFile) {
  TempDir dir;
  const std::string runtime = to_native(dir.path());
  const std::string missing = runtime + "/missing";
  const std::string uid = std::to_string(::geteuid());
  const std::u16string tmp_name = u"VesklarTest" + base::widen_ascii(std::to_string(platform::current_process_id()));
  ASSERT_EQ(::symlink("elsewhere", (runtime + "/Planted.lock").c_str()), 0);
  struct Row {
    const char* runtime_dir;
    std::u16string name;
    platform::InstanceResult result;
    std::u16string file;  // where the lock file must then exist
  };
  const Row rows[] = {
      {runtime.c_str(), u"Local\\VesklarEditorV1", platform::InstanceResult::acquired, dir / u"VesklarEditorV1.lock"},
      {kUnset, u"Local\\" + tmp_name, platform::InstanceResult::acquired,
       u"\\tmp\\vesklar-" + base::widen_ascii(uid) + u"-" + tmp_name + u".lock"},
      {missing.c_str(), u"Local\\VesklarEditorV1", platform::InstanceResult::failed, u""},
      {runtime.c_str(), u"Local\\Planted", platform::InstanceResult::failed, u""},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(platform::utf16_to_utf8(r.name));
    ScopedEnv env{{"XDG_RUNTIME_DIR", r.runtime_dir}};
    platform::InstanceLock lock;
    EXPECT_EQ(platform::acquire_instance_lock(r.name, &lock), r.result);
    if (!r.file.empty()) {
      EXPECT_NE(platform::file_attributes(r.file), platform::kInvalidAttributes);
    }
    lock.release();
  }
  platform::delete_file(rows[1].file);
  EXPECT_EQ(platform::file_attributes(dir / u"elsewhere"), platform::kInvalidAttributes);
}

}  // namespace
