// The Linux installer's folder and command line: a private folder per
// update, and paths that reach the script whole whatever they hold.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "platform/desktop.h"
#include "platform/posix/posix_path.h"
#include "platform/posix/scoped_env.h"
#include "platform/posix/spawn.h"
#include "support/temp_dir.h"
#include "update/installer_script.h"

namespace {

using platform::posix::to_native;
using platform_test::ScopedEnv;

TEST(InstallerFolder, IsANewFolderOnlyTheUserCanEnter) {
  TempDir temp;
  ScopedEnv env({{"TMPDIR", to_native(temp.path()).c_str()}});
  const std::optional<platform::InstallerFolder> a = platform::installer_folder();
  const std::optional<platform::InstallerFolder> b = platform::installer_folder();
  ASSERT_TRUE(a && b);
  EXPECT_TRUE(a->made_for_update);
  EXPECT_NE(a->path, b->path);
  for (const platform::InstallerFolder* f : {&*a, &*b}) {
    EXPECT_EQ(f->path.rfind(temp.path() + u"\\vesklar-update-", 0), 0u) << to_native(f->path);
    EXPECT_EQ(f->path.back(), u'\\');
    struct stat st;
    ASSERT_EQ(::lstat(to_native(f->path).c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    EXPECT_EQ(st.st_uid, ::geteuid());
  }
}

TEST(ShellInstaller, EveryPathReachesTheScriptWhole) {
  const std::u16string odd = u"\\tmp\\Tom's \"exe\" $HOME `id` \u00e9 \\";
  InstallerArgs a;
  a.script = odd + u"s\\vesklar-update.sh";
  a.pid = 5;
  a.zip = odd + u"s\\vesklar-update.zip";
  a.dest = odd + u"d";
  a.exe = odd + u"d\\vesklar";
  const std::vector<std::u16string> parts = platform::posix::split_command_line(kShellInstaller.command_line(a));
  const auto p = [](const std::u16string& path) { return platform::argument_path(path); };
  EXPECT_EQ(parts, (std::vector<std::u16string>{u"/bin/sh", p(a.script), u"5", p(a.zip), p(a.dest), p(a.exe)}));
}

}  // namespace
