#include "launcher/app_window.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/files.h"
#include "support/temp_dir.h"

namespace {

TEST(AppWindowCommand, QuotesBothPathsAndNotTheAddress) {
  struct Case {
    const char16_t* browser;
    const char16_t* profile;
    const char16_t* line;
  };
  const Case cases[] = {
      {u"C:\\Program Files\\Microsoft\\Edge\\Application\\msedge.exe",
       u"C:\\Users\\u\\AppData\\Local\\Vesklar\\profile",
       u"\"C:\\Program Files\\Microsoft\\Edge\\Application\\msedge.exe\" --app=http://127.0.0.1:17865/ "
       u"--user-data-dir=\"C:\\Users\\u\\AppData\\Local\\Vesklar\\profile\" --no-first-run --disable-sync "
       u"--disable-features=Translate"},
      {u"/usr/bin/chromium", u"/home/u/.local/share/Vesklar/profile",
       u"\"/usr/bin/chromium\" --app=http://127.0.0.1:17865/ "
       u"--user-data-dir=\"/home/u/.local/share/Vesklar/profile\" --no-first-run --disable-sync "
       u"--disable-features=Translate"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(format_app_window_command(c.browser, u"http://127.0.0.1:17865/", c.profile), c.line);
  }
}

TEST(AppWindowCommand, FillsItsBufferToTheLastUnitAndNoFurther) {
  const std::u16string bare = format_app_window_command(u"", u"a", u"");
  ASSERT_FALSE(bare.empty());
  const std::size_t room = kAppWindowCommandUnits - 1 - bare.size();
  EXPECT_EQ(format_app_window_command(std::u16string(room, u'x'), u"a", u"").size(),
            kAppWindowCommandUnits - 1);
  EXPECT_EQ(format_app_window_command(std::u16string(room + 1, u'x'), u"a", u""), u"");
}

TEST(BrowserProbe, TakesTheFirstCandidateThatIsAnExistingFile) {
  TempDir dir;
  TempDir::write(dir / u"edge.exe", "x");
  TempDir::write(dir / u"chrome.exe", "x");
  ASSERT_TRUE(platform::create_folder(dir / u"msedge.exe"));
  ASSERT_TRUE(platform::create_folder(dir / u"s"));
  const std::u16string edge = dir / u"edge.exe";
  const std::u16string chrome = dir / u"chrome.exe";
  const std::u16string folder = dir / u"msedge.exe";
  const std::u16string missing = dir / u"missing.exe";
  // An unset name stays as written, so the text names nothing.
  const std::u16string unset = u"%VESKLAR_TEST_NEVER_SET_7F3Q%\\edge.exe";
  // edge.exe again, padded with "." steps (and one "s\.." for an odd
  // count) to an exact length: 259 characters fit a path buffer, 260 do not,
  // and such a candidate counts as not found although the file exists.
  const auto padded = [&](std::size_t length) {
    std::u16string path = dir.path();
    std::size_t need = length - path.size() - 9;
    if (need % 2 == 1) {
      path += u"\\s\\..";
      need -= 5;
    }
    for (; need > 0; need -= 2) path += u"\\.";
    return path + u"\\edge.exe";
  };
  const std::u16string fits = padded(259);
  const std::u16string too_long = padded(260);
  ASSERT_EQ(fits.size(), 259u);
  ASSERT_EQ(too_long.size(), 260u);
  struct Case {
    const char* what;
    std::vector<std::u16string> candidates;
    std::u16string found;  // empty: none
  };
  const Case cases[] = {
      {"first of two files", {edge, chrome}, edge},
      {"missing file passed over", {missing, chrome}, chrome},
      {"folder of the browser's name passed over", {folder, chrome}, chrome},
      {"unset variable passed over", {unset, chrome}, chrome},
      {"259 characters fit", {fits, chrome}, fits},
      {"260 characters do not", {too_long, chrome}, chrome},
      {"nothing there", {missing, folder, unset, too_long}, u""},
      {"no candidates", {}, u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(find_browser(c.candidates).value_or(u""), c.found);
  }
}

}  // namespace
