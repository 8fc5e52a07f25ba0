#include "launcher/desktop_marker.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/files.h"
#include "support/temp_dir.h"

namespace {

// UTF-16LE bytes of `text`, whatever this machine's byte order.
std::string le_bytes(std::u16string_view text) {
  std::string out;
  for (const char16_t c : text) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
  return out;
}

std::string file_bytes(const std::u16string& path) {
  platform::File f = platform::open_for_read(path);
  std::string out;
  char buf[1024];
  std::uint32_t got = 0;
  while (f && f.read(buf, sizeof buf, &got) && got > 0) out.append(buf, got);
  return out;
}

// 20 characters, one of them beyond Latin-1 so that both bytes of a unit count.
const std::u16string kFolder = u"C:\\Apps\\Vesk\u4E2Dar-1234";

TEST(DesktopMarker, MatchesOnlyTheFolderUnitForUnit) {
  ASSERT_EQ(kFolder.size(), 20u);
  const std::string exact = le_bytes(kFolder);
  std::u16string other_case = kFolder;
  other_case[3] = u'a';  // "Apps" -> "apps"
  std::u16string swapped_units = kFolder;
  swapped_units[12] = u'\u2D4E';
  struct Case {
    const char* what;
    std::string bytes;
    bool matches;
  };
  const Case cases[] = {
      {"exact", exact, true},
      {"letter case differs", le_bytes(other_case), false},
      {"byte-order mark", "\xFF\xFE" + exact, false},
      {"line feed", exact + le_bytes(u"\n"), false},
      {"CR LF", exact + le_bytes(u"\r\n"), false},
      {"one unit byte-swapped", le_bytes(swapped_units), false},
      {"shorter", exact.substr(0, exact.size() - 2), false},
      {"empty", "", false},
      // The text ends at its first NUL, and an odd last byte is no unit.
      {"terminator stored too", exact + std::string(2, '\0') + "junk", true},
      {"odd byte left over", exact + "A", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    TempDir::write(dir / u"desktop.txt", c.bytes);
    EXPECT_EQ(marker_matches(dir / u"desktop.txt", kFolder), c.matches);
  }
}

TEST(DesktopMarker, MissingOrUnreadableNeverMatches) {
  TempDir dir;
  EXPECT_FALSE(marker_matches(dir / u"desktop.txt", kFolder));
  EXPECT_FALSE(marker_matches(dir / u"desktop.txt", u""));
  ASSERT_TRUE(platform::create_folder(dir / u"folder.txt"));
  EXPECT_FALSE(marker_matches(dir / u"folder.txt", u""));
}

TEST(DesktopMarker, ReadsAtMost518Bytes) {
  // Whatever follows the 259th character is never seen.
  TempDir dir;
  const std::u16string longest(259, u'x');
  TempDir::write(dir / u"desktop.txt", le_bytes(longest + u"yz"));
  EXPECT_TRUE(marker_matches(dir / u"desktop.txt", longest));
  EXPECT_FALSE(marker_matches(dir / u"desktop.txt", longest + u"yz"));
}

TEST(DesktopMarker, WritesTwoBytesPerCharacterAndNothingElse) {
  TempDir dir;
  const std::u16string marker = dir / u"desktop.txt";
  TempDir::write(marker, std::string(100, 'o'));  // an older, longer marker
  write_marker(marker, kFolder);
  const std::string bytes = file_bytes(marker);
  EXPECT_EQ(bytes.size(), 40u);
  EXPECT_EQ(bytes, le_bytes(kFolder));
  EXPECT_TRUE(marker_matches(marker, kFolder));
}

TEST(DesktopMarker, WriteIntoAMissingFolderLeavesNothing) {
  TempDir dir;
  write_marker(dir / u"missing\\desktop.txt", kFolder);
  EXPECT_EQ(platform::file_attributes(dir / u"missing\\desktop.txt"), platform::kInvalidAttributes);
}

}  // namespace
