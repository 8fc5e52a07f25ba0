#include "media/export_name.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/text.h"

namespace {

std::string narrow(const std::u16string& s) { return platform::utf16_to_utf8(s); }

TEST(ExportName, FromTheNameParameter) {
  struct Case {
    std::string name;  // decoded "name" value, UTF-8
    std::u16string expected;
  };
  const Case cases[] = {
      {"", u"vesklar.mp4"},
      {"clip.mp4", u"clip.mp4"},
      {"C:\\temp\\clip.mp4", u"clip.mp4"},
      {"a/b/clip.mp4", u"clip.mp4"},
      {"a\\b/c\\clip.mp4", u"clip.mp4"},
      {"dir/", u"vesklar.mp4"},
      {"dir\\", u"vesklar.mp4"},
      {"my:clip?.mp4", u"my_clip_.mp4"},
      {"<a>|\"b\"*.mp4", u"_a___b__.mp4"},
      {"tab\there\x01.mp4", u"tab_here_.mp4"},
      {"caf\xC3\xA9.mp4", u"caf\u00E9.mp4"},
      {"bad\xFF.mp4", u"bad\uFFFD.mp4"},  // invalid UTF-8 is replaced, not rejected
      // Reserved device names, alone or before a '.', in any case.
      {"CON", u"_CON"},
      {"con.mp4", u"_con.mp4"},
      {"Nul.tar.gz", u"_Nul.tar.gz"},
      {"aux", u"_aux"},
      {"PRN.txt", u"_PRN.txt"},
      {"com1.mp4", u"_com1.mp4"},
      {"LPT9", u"_LPT9"},
      {"COM\u00B9.mp4", u"_COM\u00B9.mp4"},
      {"NUL .mp4", u"_NUL .mp4"},
      // Not reserved.
      {"CONSOLE.mp4", u"CONSOLE.mp4"},
      {"COM10.mp4", u"COM10.mp4"},
      {"COM0", u"COM0"},
      {"LPT", u"LPT"},
      {"xCON.mp4", u"xCON.mp4"},
      // Trailing dots and spaces each become '_'.
      {"clip.", u"clip_"},
      {"clip. .", u"clip___"},
      {"clip.mp4  ", u"clip.mp4__"},
      {".", u"_"},
      {"..", u"__"},
      {"../..", u"__"},
      {"CON.", u"_CON_"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(narrow(export_name_for(c.name.c_str())), narrow(c.expected)) << c.name;
  }
}

TEST(ExportName, CutToHundredTwentyUnits) {
  // 120 units remain, and the extension is among them.
  const std::u16string long_name = export_name_for((std::string(250, 'a') + ".mp4").c_str());
  EXPECT_EQ(long_name, std::u16string(116, u'a') + u".mp4");
  // The prefix of a reserved name does not push the result past 120 units.
  const std::u16string reserved = export_name_for(("con." + std::string(200, 'x')).c_str());
  EXPECT_EQ(reserved.size(), 120u);
  EXPECT_EQ(reserved, u"_con." + std::u16string(115, u'x'));
  // A cut that ends on a dot still gets it replaced.
  const std::u16string dotted = export_name_for((std::string(119, 'd') + "." + std::string(40, 't')).c_str());
  EXPECT_EQ(dotted, std::u16string(119, u'd') + u"_");
}

TEST(ExportName, ShortenedByTheStemAndNeverInsideACharacter) {
  const std::string e = "\xC3\xB1";          // U+00F1: one unit, two bytes
  const std::string smile = "\xF0\x9F\x98\x80";  // U+1F600: a surrogate pair, four bytes
  const std::u16string n = u"\u00F1";
  const std::u16string pair = u"\U0001F600";
  auto repeat = [](const std::string& s, int count) {
    std::string out;
    for (int i = 0; i < count; ++i) out += s;
    return out;
  };
  auto repeat16 = [](const std::u16string& s, int count) {
    std::u16string out;
    for (int i = 0; i < count; ++i) out += s;
    return out;
  };
  struct Case {
    std::string name;
    std::u16string expected;
  };
  const std::u16string ext31 = u"." + std::u16string(30, u'e');
  const Case cases[] = {
      {std::string(116, 'a') + ".mp4", std::u16string(116, u'a') + u".mp4"},  // fits: unchanged
      {std::string(117, 'a') + ".mp4", std::u16string(116, u'a') + u".mp4"},
      {std::string(200, 'a') + ".tar.gz", std::u16string(117, u'a') + u".gz"},
      {std::string(200, 'a') + ".", std::u16string(119, u'a') + u"_"},  // a trailing '.' still goes
      {std::string(200, 's') + "." + std::string(30, 'e'), std::u16string(89, u's') + ext31},
      {std::string(200, 's') + "." + std::string(31, 'e'), std::u16string(120, u's')},  // too long to keep
      {std::string(130, 'x'), std::u16string(120, u'x')},
      {repeat(e, 130) + ".mp4", repeat16(n, 116) + u".mp4"},
      // The cut would fall between the halves of a pair: the pair goes whole.
      {std::string(115, 'a') + smile + "bc.mp4", std::u16string(115, u'a') + u".mp4"},
      {std::string(114, 'a') + smile + "bc.mp4", std::u16string(114, u'a') + pair + u".mp4"},
      {std::string(119, 'a') + smile, std::u16string(119, u'a')},
      // A character cut off at the end (the request line's limit) is dropped;
      // an invalid byte elsewhere is still replaced.
      {"clip" + smile.substr(0, 3), u"clip"},
      {"clip" + smile.substr(0, 1), u"clip"},
      {"clip" + e.substr(0, 1), u"clip"},
      {"clip\xE2\x82", u"clip"},
      {"clip" + e, u"clip" + n},
      {"clip\xA9", u"clip\uFFFD"},
      {"clip\xFF", u"clip\uFFFD"},
      {e.substr(0, 1), u"vesklar.mp4"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(narrow(export_name_for(c.name.c_str())), narrow(c.expected)) << c.name;
  }
}

TEST(ExportName, NumberedNames) {
  struct Case {
    std::u16string name;
    int n;
    std::u16string expected;
  };
  const std::u16string ext31 = u"." + std::u16string(30, u'e');
  const std::u16string ext32 = u"." + std::u16string(31, u'e');
  const Case cases[] = {
      {u"vesklar.mp4", 2, u"vesklar-2.mp4"},
      {u"vesklar.mp4", 199, u"vesklar-199.mp4"},
      {u"README", 2, u"README-2"},
      {u".profile", 2, u"-2.profile"},
      {u"a.b.c", 3, u"a.b-3.c"},
      {u"s" + ext31, 2, u"s-2" + ext31},   // 31 units with the '.': still split
      {u"s" + ext32, 2, u"s" + ext32 + u"-2"},  // longer: the number goes at the end
      {std::u16string(120, u'a'), 199, std::u16string(120, u'a') + u"-199"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(narrow(numbered_name(c.name, c.n)), narrow(c.expected)) << narrow(c.name);
  }
}

}  // namespace
