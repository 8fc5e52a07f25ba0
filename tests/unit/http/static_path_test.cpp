#include "http/static_path.h"

#include <gtest/gtest.h>

#include <string>

#include "http/page.h"
#include "platform/native_path.h"
#include "platform/text.h"

namespace {

TEST(SitePathMapping, JoinsRefusesAndStripsLeadingSeparators) {
  const std::u16string site = u"C:\\app\\www";
  struct Case {
    const char* request;
    const char16_t* joined;  // null: refused with "bad path"
  };
  const Case cases[] = {
      {"/index.html", u"C:\\app\\www\\index.html"},
      {"/x", u"C:\\app\\www\\x"},
      {"//x", u"C:\\app\\www\\x"},
      {"/\\x", u"C:\\app\\www\\x"},
      {"x", u"C:\\app\\www\\x"},
      {"/a/b/c.js", u"C:\\app\\www\\a\\b\\c.js"},
      {"/caf\xC3\xA9.png", u"C:\\app\\www\\caf\u00E9.png"},
      {"/bad\xFF.png", u"C:\\app\\www\\bad\uFFFD.png"},
      {"/a/../b", nullptr},
      {"/x..y.js", nullptr},
      {"/..", nullptr},
      {"/.\\.", u"C:\\app\\www\\.\\."},
      {"/C:/Windows/win.ini", nullptr},
      {"/index.html::$DATA", nullptr},
      {"/CON", nullptr},
      {"/con.txt", nullptr},
      {"/a/Lpt9.js", nullptr},
      {"/nul .png", nullptr},
      {"/aux/x", nullptr},
      {"/COM0", u"C:\\app\\www\\COM0"},
      {"/console", u"C:\\app\\www\\console"},
      {"/com10", u"C:\\app\\www\\com10"},
      {"/CONIN$", nullptr},
      {"/a/conout$.js", nullptr},
      {"/COM\xC2\xB9", nullptr},
      {"/lpt\xC2\xB3.txt", nullptr},
      {"/COM\xC2\xB4", u"C:\\app\\www\\COM\u00B4"},
      {"/a.b/c", u"C:\\app\\www\\a.b\\c"},
      {"/\xF0\x9F\x98\x80/x", u"C:\\app\\www\\\xD83D\xDE00\\x"},
      {"/100%25%zz", u"C:\\app\\www\\100%25%zz"},
      {"/\xC2\xB9/CON\xC2\xA0", u"C:\\app\\www\\\u00B9\\CON\u00A0"},
      {"/\xFF..", nullptr},
      {"/\xC3\xA9/Nul.js", nullptr},
  };
  for (const auto& c : cases) {
    SiteFile file;
    const SitePath result = map_site_path(c.request, site, &file);
    if (c.joined) {
      EXPECT_EQ(result, SitePath::ok) << c.request;
      EXPECT_TRUE(file.path == platform::native_path(c.joined)) << c.request;
    } else {
      EXPECT_EQ(result, SitePath::bad) << c.request;
    }
  }
}

// The name opened is made straight from the request's UTF-8; it must be the
// one the UTF-16 form of the request gives, however ill-formed the bytes
// (each system's converter decides how many U+FFFD a broken sequence makes).
TEST(SitePathMapping, SameNameAsTheUtf16FormOfTheRequest) {
  const std::u16string site = u"/srv/caf\u00E9 \U0001F600/www";
  for (const char* request : {"/a/b.js", "/\xC0\xAF.js", "/\xED\xA0\x80x", "/a\xE2\x82", "/\xF4\x90\x80\x80",
                              "/\xE2\x82/b", "/x\xF0\x9F\x98\x80y", "/\xFE\xFF", "//\\\xC3\xA9\\d%2e", "/\xC3"}) {
    SiteFile file;
    ASSERT_EQ(map_site_path(request, site, &file), SitePath::ok) << request;
    std::u16string relative = *platform::utf8_to_utf16(request + 1, kRelativePathUnits);
    for (auto& c : relative)
      if (c == u'/') c = u'\\';
    relative.erase(0, relative.find_first_not_of(u'\\'));
    EXPECT_EQ(file.path, platform::native_path(site + u"\\" + relative)) << request;
  }
}

TEST(SitePathMapping, NamesWindowsWouldTrimAreMissingEverywhere) {
  // Windows would open "index.html" for "index.html." and "app.js" for
  // "app.js ": such names are answered as absent on every system.
  const std::u16string site = u"C:\\www";
  for (const char* request : {"/index.html.", "/app.js ", "/a./b.js", "/a /b", "/x. .", "/dir/file. . "}) {
    SiteFile file;
    EXPECT_EQ(map_site_path(request, site, &file), SitePath::missing) << request;
  }
  for (const char* request : {"/.", "/./x", "/a.b", "/ a"}) {
    SiteFile file;
    EXPECT_EQ(map_site_path(request, site, &file), SitePath::ok) << request;
  }
}

TEST(SitePathMapping, LengthLimits) {
  const std::u16string site = u"C:\\www";  // 6 characters
  SiteFile joined;
  // 259 units of relative path convert; the join then needs 266 and fails.
  EXPECT_EQ(map_site_path(("/" + std::string(259, 'a')).c_str(), site, &joined), SitePath::bad);
  EXPECT_EQ(map_site_path(("/" + std::string(260, 'a')).c_str(), site, &joined), SitePath::bad);
  // 252 + 7 = 259 characters: the longest joined path that fits.
  EXPECT_EQ(map_site_path(("/" + std::string(252, 'a')).c_str(), site, &joined), SitePath::ok);
  EXPECT_EQ(joined.path, platform::native_path(site + u"\\" + std::u16string(252, u'a')));
  EXPECT_EQ(map_site_path(("/" + std::string(253, 'a')).c_str(), site, &joined), SitePath::bad);
  // The limits count UTF-16 units: U+1F600 takes two, U+00E9 one.
  const std::string emoji = "\xF0\x9F\x98\x80", e_acute = "\xC3\xA9";
  EXPECT_EQ(map_site_path(("/" + std::string(250, 'a') + emoji).c_str(), site, &joined), SitePath::ok);
  EXPECT_EQ(map_site_path(("/" + std::string(251, 'a') + emoji).c_str(), site, &joined), SitePath::bad);
  EXPECT_EQ(map_site_path(("/" + std::string(251, 'a') + e_acute).c_str(), site, &joined), SitePath::ok);
  EXPECT_EQ(map_site_path(("/" + std::string(256, 'a') + emoji).c_str(), u"", &joined), SitePath::ok);
}

TEST(HeadTag, FirstMatchIgnoringCaseUpToTheFirstNul) {
  struct Case {
    const char* text;
    std::int64_t at;
  };
  const Case cases[] = {
      {"<html><head></head>", 12},
      {"<HEAD></HEAD>", 6},
      {"</Head></head>", 0},
      {"</ head>", -1},
      {"</head", -1},
      {"", -1},
      {"abc", -1},
  };
  for (const auto& c : cases) EXPECT_EQ(find_head_tag(c.text), c.at) << c.text;
  const char hidden[] = "x\0</head>";
  EXPECT_EQ(find_head_tag(hidden), -1);
}

}  // namespace
