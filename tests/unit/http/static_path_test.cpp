#include "http/static_path.h"

#include <gtest/gtest.h>

#include <string>

#include "http/page.h"

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
  };
  for (const auto& c : cases) {
    std::u16string joined;
    const SitePath result = map_site_path(c.request, site, &joined);
    if (c.joined) {
      EXPECT_EQ(result, SitePath::ok) << c.request;
      EXPECT_TRUE(joined == c.joined) << c.request;
    } else {
      EXPECT_EQ(result, SitePath::bad) << c.request;
    }
  }
}

TEST(SitePathMapping, NamesWindowsWouldTrimAreMissingEverywhere) {
  // Windows would open "index.html" for "index.html." and "app.js" for
  // "app.js ": such names are answered as absent on every system.
  const std::u16string site = u"C:\\www";
  for (const char* request : {"/index.html.", "/app.js ", "/a./b.js", "/a /b", "/x. .", "/dir/file. . "}) {
    std::u16string joined;
    EXPECT_EQ(map_site_path(request, site, &joined), SitePath::missing) << request;
  }
  for (const char* request : {"/.", "/./x", "/a.b", "/ a"}) {
    std::u16string joined;
    EXPECT_EQ(map_site_path(request, site, &joined), SitePath::ok) << request;
  }
}

TEST(SitePathMapping, LengthLimits) {
  const std::u16string site = u"C:\\www";  // 6 characters
  std::u16string joined;
  // 259 units of relative path convert; the join then needs 266 and fails.
  EXPECT_EQ(map_site_path(("/" + std::string(259, 'a')).c_str(), site, &joined), SitePath::bad);
  EXPECT_EQ(map_site_path(("/" + std::string(260, 'a')).c_str(), site, &joined), SitePath::bad);
  // 252 + 7 = 259 characters: the longest joined path that fits.
  EXPECT_EQ(map_site_path(("/" + std::string(252, 'a')).c_str(), site, &joined), SitePath::ok);
  EXPECT_EQ(joined.size(), 259u);
  EXPECT_EQ(map_site_path(("/" + std::string(253, 'a')).c_str(), site, &joined), SitePath::bad);
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
