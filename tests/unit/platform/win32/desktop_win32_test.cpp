// The Windows shortcut maker: a hidden process in the program's folder,
// waited for, and "not started" when the program cannot be run.
#include <gtest/gtest.h>

#include "platform/desktop.h"
#include "platform/file_text.h"
#include "support/temp_dir.h"

namespace {

TEST(MakeDesktopShortcut, RunsTheCommandInTheFolderAndWaitsForIt) {
  TempDir dir;
  const platform::DesktopShortcut shortcut{dir / u"Vesklar.exe", dir.path(), dir / u"Vesklar.exe",
                                           u"cmd.exe /c echo made> made.txt"};
  EXPECT_TRUE(platform::make_desktop_shortcut(shortcut, 60000));
  // Ended before the call returned, and ran in `folder`.
  EXPECT_EQ(platform_test::read_text(dir / u"made.txt"), "made\r\n");
}

TEST(MakeDesktopShortcut, ReportsAMakerThatCannotStart) {
  TempDir dir;
  const platform::DesktopShortcut shortcut{dir / u"Vesklar.exe", dir.path(), dir / u"Vesklar.exe",
                                           u"vesklar-no-such-program.exe -Command x"};
  EXPECT_FALSE(platform::make_desktop_shortcut(shortcut, 60000));
}

}  // namespace
