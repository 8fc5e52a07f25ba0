// The Linux side of the app window and the desktop shortcut: browser names
// on PATH, paths inside arguments, and the freedesktop launcher file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/desktop.h"
#include "platform/file_text.h"
#include "platform/files.h"
#include "platform/posix/desktop_entry.h"
#include "platform/posix/posix_path.h"
#include "platform/posix/scoped_env.h"
#include "support/temp_dir.h"

namespace {

using platform::posix::desktop_entry_text;
using platform::posix::to_native;
using platform_test::read_text;
using platform_test::ScopedEnv;

const char* const kNames[] = {"microsoft-edge", "microsoft-edge-stable", "google-chrome",
                              "google-chrome-stable", "chromium", "chromium-browser"};

TEST(BrowserCandidates, EveryPathFolderForOneNameBeforeTheNext) {
  struct Case {
    const char* path;  // null: unset
    std::vector<std::u16string> folders;
  };
  const Case cases[] = {
      {"/a/bin::rel", {u"\\a\\bin", u".", u"rel"}},  // empty: the current folder
      {"/only", {u"\\only"}},
      {nullptr, {u"\\usr\\bin", u"\\bin"}},
  };
  for (const Case& c : cases) {
    ScopedEnv env({{"PATH", c.path}});
    std::vector<std::u16string> expected;
    for (const char* name : kNames) {
      for (const std::u16string& folder : c.folders) {
        expected.push_back(folder + u"\\" + platform::posix::from_native(name));
      }
    }
    EXPECT_EQ(platform::browser_candidates(), expected) << (c.path ? c.path : "(unset)");
  }
}

TEST(ArgumentPath, UsesSlashes) {
  EXPECT_EQ(platform::argument_path(u"\\home\\u\\.local\\share\\Vesklar\\profile"),
            u"/home/u/.local/share/Vesklar/profile");
  EXPECT_EQ(platform::argument_path(u"rel\\x"), u"rel/x");
}

TEST(DesktopEntry, EscapesExecByBothRulesAndOtherValuesByTheStringRule) {
  struct Case {
    const char* program;
    const char* folder;
    const char* exec;  // as written after "Exec="
    const char* path;  // as written after "Path="
  };
  const Case cases[] = {
      {"/opt/v/vesklar", "/opt/v", "\"/opt/v/vesklar\"", "/opt/v"},
      {"/my apps/it's/vesklar", "/my apps/it's", "\"/my apps/it's/vesklar\"", "/my apps/it's"},
      // Inside the quotes '"', '`', '$' and '\' take a backslash, which the
      // string rule then doubles.
      {"/a\"b/v", "/a\"b", "\"/a\\\\\"b/v\"", "/a\"b"},
      {"/$HOME/`x`/v", "/$HOME", "\"/\\\\$HOME/\\\\`x\\\\`/v\"", "/$HOME"},
      {"/back\\slash/v", "/back\\slash", "\"/back\\\\\\\\slash/v\"", "/back\\\\slash"},
      {"/100%/v", "/100%", "\"/100%%/v\"", "/100%"},  // no field code
      {"/line\nend/v", "/line\nend\t", "\"/line\\nend/v\"", "/line\\nend\\t"},
  };
  for (const Case& c : cases) {
    const std::string text = desktop_entry_text(c.program, c.folder, c.folder);
    EXPECT_EQ(text, std::string("[Desktop Entry]\nType=Application\nName=Vesklar\nComment=Vesklar\nExec=") +
                        c.exec + "\nPath=" + c.path + "\nIcon=" + c.path + "\nTerminal=false\n")
        << c.program;
  }
}

class MakeDesktopShortcut : public ::testing::Test {
 protected:
  platform::DesktopShortcut shortcut{u"\\opt\\v\\vesklar", u"\\opt\\v", u"\\opt\\v\\Vesklar.ico", u"ignored"};
  std::string expected = desktop_entry_text("/opt/v/vesklar", "/opt/v", "/opt/v/Vesklar.ico");
};

TEST_F(MakeDesktopShortcut, WritesAnExecutableLauncherIntoTheXdgDesktopFolder) {
  TempDir dir;
  const std::u16string file = dir / u"Vesklar.desktop";
  TempDir::write(file, std::string(4096, '#'));  // an older one is replaced whole
  ScopedEnv env({{"XDG_DESKTOP_DIR", to_native(dir.path()).c_str()}, {"HOME", "/nonexistent"}});
  EXPECT_TRUE(platform::make_desktop_shortcut(shortcut, 8000));
  EXPECT_EQ(read_text(file), expected);
  struct stat st;
  ASSERT_EQ(::stat(to_native(file).c_str(), &st), 0);
  EXPECT_NE(st.st_mode & S_IXUSR, 0u);
}

TEST_F(MakeDesktopShortcut, FallsBackToTheDesktopInHomeAndFailsWithoutOne) {
  TempDir home;
  ScopedEnv env({{"XDG_DESKTOP_DIR", ""}, {"HOME", to_native(home.path()).c_str()}});
  // No Desktop folder: nothing could be made, and none is created.
  EXPECT_FALSE(platform::make_desktop_shortcut(shortcut, 8000));
  EXPECT_EQ(platform::file_attributes(home / u"Desktop"), platform::kInvalidAttributes);
  ASSERT_TRUE(platform::create_folder(home / u"Desktop"));
  EXPECT_TRUE(platform::make_desktop_shortcut(shortcut, 8000));
  EXPECT_EQ(read_text(home / u"Desktop\\Vesklar.desktop"), expected);
  ScopedEnv no_home({{"HOME", nullptr}});
  EXPECT_FALSE(platform::make_desktop_shortcut(shortcut, 8000));
}

// Counted as made only when the whole launcher is in place, so a failure is
// tried again at the next start instead of leaving an empty file for good.
TEST_F(MakeDesktopShortcut, FailsAndLeavesTheOldOneWhenTheFileCannotBeWrittenWhole) {
  TempDir dir;
  const std::u16string file = dir / u"Vesklar.desktop";
  TempDir::write(file, "old");
  ScopedEnv env({{"XDG_DESKTOP_DIR", to_native(dir.path()).c_str()}});
  {
    // A file size limit below the launcher's length: the write comes up short.
    struct rlimit old_limit;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old_limit), 0);
    const auto old_handler = ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old_limit;
    small.rlim_cur = 16;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool made = platform::make_desktop_shortcut(shortcut, 8000);
    ::setrlimit(RLIMIT_FSIZE, &old_limit);
    ::signal(SIGXFSZ, old_handler);
    EXPECT_FALSE(made);
  }
  EXPECT_EQ(read_text(file), "old");
  // A folder in its place: the rename fails.
  ASSERT_EQ(::unlink(to_native(file).c_str()), 0);
  ASSERT_TRUE(platform::create_folder(file));
  TempDir::write(file + u"\\keep", "x");
  EXPECT_FALSE(platform::make_desktop_shortcut(shortcut, 8000));
  // Nothing half-written is left beside it either.
  std::vector<std::u16string> names;
  platform::list_folder(dir.path(), [&](const platform::FolderEntry& e) {
    names.push_back(e.name);
    return true;
  });
  EXPECT_EQ(names, std::vector<std::u16string>{u"Vesklar.desktop"});
}

}  // namespace
