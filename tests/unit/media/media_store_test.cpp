#include "media/media_store.h"

#include <gtest/gtest.h>

#include <string>

#include "base/bounded_format.h"
#include "platform/text.h"

namespace {

TEST(SanitizeSegment, EveryByteBecomesOneSafeCharacter) {
  struct Case {
    std::string text;
    std::u16string safe;
  };
  const std::string b80(80, 'b');
  const Case cases[] = {
      {"../x", u"___x"},
      {"a/b", u"a_b"},
      {"a\\b", u"a_b"},
      {".", u"_"},
      {"..", u"__"},
      {"Clip 1.mp4", u"Clip_1_mp4"},
      {"C:evil", u"C_evil"},
      {"%2F+%00", u"_2F__00"},  // already decoded by the caller: these are literal
      {"\xC3\xA9", u"__"},     // one UTF-8 character of two bytes
      {"\x80\xFF\x7F\x01", u"____"},
      {"AZaz09-_", u"AZaz09-_"},
      {b80, std::u16string(80, u'b')},
      {b80 + "c", std::u16string(80, u'b')},                 // the 81st byte is dropped
      {std::string(128, 'x'), std::u16string(80, u'x')},
      // Names Windows opens as devices get a '_' in front, after the mending
      // of the other bytes (so "NUL.mp4" stays an ordinary name).
      {"NUL", u"_NUL"},
      {"com1", u"_com1"},
      {"CONIN$", u"CONIN_"},
      {"NUL.mp4", u"NUL_mp4"},
      {"LPT\xC2\xB9", u"LPT__"},
  };
  for (const auto& c : cases) {
    std::u16string safe = u"untouched";
    EXPECT_TRUE(sanitize_segment(c.text.c_str(), &safe)) << c.text;
    EXPECT_EQ(safe, c.safe) << c.text;
  }
}

TEST(SanitizeSegment, EmptyTextIsRejectedAndLeavesTheOutputAlone) {
  std::u16string safe = u"untouched";
  EXPECT_FALSE(sanitize_segment("", &safe));
  EXPECT_FALSE(sanitize_segment(nullptr, &safe));
  EXPECT_EQ(safe, u"untouched");
}

TEST(SanitizeSegment, DifferentSpellingsOfOneNameMeetAndCaseIsKept) {
  std::u16string a, b, c, upper;
  sanitize_segment("a.b", &a);
  sanitize_segment("a b", &b);
  sanitize_segment("a_b", &c);
  sanitize_segment("A_B", &upper);
  EXPECT_EQ(a, c);
  EXPECT_EQ(b, c);
  EXPECT_EQ(upper, u"A_B");
}

TEST(MediaStorePaths, LayoutAndPathLimit) {
  std::u16string media = u"D:\\data\\Vesklar\\media";
  std::u16string item, side, staging, folder;
  ASSERT_TRUE(item_file_path(media, u"My_Project", u"clip_mp4", &item));
  EXPECT_EQ(item, u"D:\\data\\Vesklar\\media\\My_Project\\clip_mp4");
  ASSERT_TRUE(side_file_path(item, &side));
  EXPECT_EQ(side, item + u".mime");
  ASSERT_TRUE(staging_file_path(item, &staging));
  EXPECT_EQ(staging, item + u".tmp");
  ASSERT_TRUE(project_folder_path(media, u"p", &folder));
  EXPECT_EQ(folder, u"D:\\data\\Vesklar\\media\\p");

  // A media folder so long that the side file no longer fits: every path
  // that does not fit is refused rather than cut.
  media = std::u16string(platform::kMaxPathChars - 10, u'm');
  EXPECT_TRUE(item_file_path(media, u"p", u"abcdefg", &item));  // exactly 259
  EXPECT_EQ(item.size(), platform::kMaxPathChars);
  EXPECT_FALSE(side_file_path(item, &side));
  EXPECT_TRUE(side.empty());
  EXPECT_FALSE(item_file_path(media, u"p", u"abcdefgh", &item));
}

}  // namespace
