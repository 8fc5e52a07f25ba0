#include "launcher/desktop_shortcut.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(PowerShellLiteral, DoublesEverySingleQuote) {
  struct Case {
    const char16_t* source;
    const char16_t* quoted;
  };
  const Case cases[] = {
      {u"", u""},
      {u"C:\\Apps\\Vesklar", u"C:\\Apps\\Vesklar"},
      {u"C:\\it's", u"C:\\it''s"},
      {u"'", u"''"},
      {u"''x'", u"''''x''"},
      {u"\"$(x)`", u"\"$(x)`"},  // only the single quote ends such a literal
      {u"C:\\\u00C1rbol\\\u4E2D'", u"C:\\\u00C1rbol\\\u4E2D''"},
  };
  for (const Case& c : cases) EXPECT_EQ(quote_ps_literal(c.source), c.quoted);
}

TEST(PowerShellLiteral, StopsOnceTheOutputHolds698) {
  const std::u16string plain(697, u'a');
  struct Case {
    std::u16string source;
    std::u16string quoted;
  };
  const Case cases[] = {
      {plain + u"b", plain + u"b"},
      {plain + u"bc", plain + u"b"},
      {plain + u"'c", plain + u"''"},  // a doubled quote may make 699
      {std::u16string(400, u'\''), std::u16string(698, u'\'')},
      {std::u16string(259, u'\''), std::u16string(518, u'\'')},  // a real path is never cut
  };
  for (const Case& c : cases) {
    const std::u16string got = quote_ps_literal(c.source);
    EXPECT_LE(got.size(), kQuotedPathMaxChars);
    EXPECT_EQ(got, c.quoted) << "source length " << c.source.size();
  }
}

TEST(ShortcutCommand, QuotesTheThreePathsIntoTheFixedText) {
  EXPECT_EQ(
      format_shortcut_command(u"C:\\it's\\Vesklar.exe", u"C:\\it's", u"C:\\it's\\Vesklar.ico"),
      u"powershell.exe -NoProfile -ExecutionPolicy Bypass -Command \"$w=New-Object -ComObject "
      u"WScript.Shell; $p=Join-Path $w.SpecialFolders('Desktop') 'Vesklar.lnk'; "
      u"$s=$w.CreateShortcut($p); $s.TargetPath='C:\\it''s\\Vesklar.exe'; "
      u"$s.WorkingDirectory='C:\\it''s'; $s.IconLocation='C:\\it''s\\Vesklar.ico,0'; "
      u"$s.Description='Vesklar'; $s.Save()\"");
  // The fixed part: 283 characters around the three paths.
  EXPECT_EQ(format_shortcut_command(u"", u"", u"").size(), 283u);
}

TEST(ShortcutCommand, LongestQuotedPathsStillFit) {
  const std::u16string quotes(400, u'\'');
  const std::u16string line = format_shortcut_command(quotes, quotes, quotes);
  EXPECT_EQ(line.size(), 283u + 3 * 698);
  EXPECT_LT(line.size(), kShortcutCommandUnits);
}

}  // namespace
