#include "base/event_log.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/file_text.h"
#include "platform/files.h"
#include "support/temp_dir.h"

namespace {

using base::EventLog;
using base::format_event_line;
using base::kEventLineMaxBytes;
using base::kEventLogMaxBytes;
using platform_test::read_text;

constexpr char kMissing[] = "<missing>";

TEST(EventLine, ReplacesControlCharactersAndCutsLongLines) {
  // "é" is two bytes; the padding puts its first byte last before the cut.
  const std::string before_cut(kEventLineMaxBytes - 9, 'a');  // "T e " takes 4
  const std::string long_tail(kEventLineMaxBytes, 'b');
  struct Case {
    const char* name;
    std::string event, details, line;
  } cases[] = {
      {"plain", "start", "version=7 pid=12", "T start version=7 pid=12\n"},
      {"no details", "end", "", "T end\n"},
      {"line breaks", "x", "a\r\nb", "T x a??b\n"},
      {"tab, escape, delete", "x", "a\tb\x1b[1m\x7f", "T x a?b?[1m?\n"},
      {"control in the event name", "x\ny", "d", "T x?y d\n"},
      {"text beyond ASCII kept", "x", "ruta=C:\\Usuarios\\José", "T x ruta=C:\\Usuarios\\José\n"},
      {"cut at the bound", "e", long_tail, ("T e " + long_tail).substr(0, kEventLineMaxBytes) + "\n"},
      {"cut never splits a character", "e", before_cut + "xxxx" + "\xc3\xa9" + "zz",
       "T e " + before_cut + "xxxx" + "\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string line = format_event_line("T", c.event, c.details);
    EXPECT_EQ(line, c.line);
    EXPECT_LE(line.size(), kEventLineMaxBytes + 1);
  }
}

TEST(EventLine, TimestampIsUtcToTheMillisecond) {
  const std::string t = base::utc_timestamp();
  ASSERT_EQ(t.size(), 24u) << t;
  EXPECT_EQ(t[4], '-');
  EXPECT_EQ(t[10], 'T');
  EXPECT_EQ(t[19], '.');
  EXPECT_EQ(t.back(), 'Z');
}

class EventLogFile : public ::testing::Test {
 protected:
  TempDir dir;
  const std::u16string path = dir / u"vesklar.log";
  const std::u16string rotated = dir / u"vesklar.log.1";
  const std::u16string second_copy = dir / u"vesklar.log.2";

  // Writes events of `line_bytes` bytes each (newline included) until the
  // file holds `total` bytes.
  static void fill(EventLog& log, std::int64_t total, std::size_t line_bytes, char mark) {
    const std::string details(line_bytes - format_event_line(base::utc_timestamp(), "f", "").size() - 1, mark);
    for (std::int64_t n = 0; n < total; n += static_cast<std::int64_t>(line_bytes)) log.write("f", details);
  }
};

TEST_F(EventLogFile, WritesNothingBeforeItIsOpened) {
  EventLog log;
  log.write("start", "version=7");
  EXPECT_EQ(read_text(path), kMissing);
}

TEST_F(EventLogFile, AppendsToTheFileOfAnEarlierRun) {
  TempDir::write(path, "earlier\n");
  EventLog log;
  ASSERT_TRUE(log.open(path));
  log.write("start", "version=7");
  log.close();
  const std::string text = read_text(path);
  EXPECT_EQ(text.substr(0, 8), "earlier\n");
  EXPECT_TRUE(text.ends_with(" start version=7\n")) << text;
}

TEST_F(EventLogFile, RotatesWhenTheNextLineWouldPassTheBound) {
  constexpr std::size_t kLine = 1024;  // divides the bound; newline included, so below the line limit
  EventLog log;
  ASSERT_TRUE(log.open(path));
  fill(log, kEventLogMaxBytes, kLine, 'a');
  log.close();
  // Exactly full is still one file.
  EXPECT_EQ(read_text(path).size(), static_cast<std::size_t>(kEventLogMaxBytes));
  EXPECT_EQ(read_text(rotated), kMissing);

  ASSERT_TRUE(log.open(path));
  log.write("next", "b");
  log.close();
  EXPECT_EQ(read_text(rotated).size(), static_cast<std::size_t>(kEventLogMaxBytes));
  const std::string fresh = read_text(path);
  EXPECT_TRUE(fresh.ends_with(" next b\n")) << fresh;
  EXPECT_EQ(fresh.find('\n'), fresh.size() - 1);  // the one line only
}

TEST_F(EventLogFile, KeepsOneRotatedCopyOnly) {
  constexpr std::size_t kLine = 1024;
  EventLog log;
  ASSERT_TRUE(log.open(path));
  fill(log, kEventLogMaxBytes, kLine, 'a');
  fill(log, kEventLogMaxBytes, kLine, 'b');  // first rotation: the a's go to the copy
  log.write("last", "c");                    // second: the b's replace them
  log.close();
  const std::string copy = read_text(rotated);
  EXPECT_EQ(copy.size(), static_cast<std::size_t>(kEventLogMaxBytes));
  EXPECT_EQ(copy.find("aaaa"), std::string::npos);
  EXPECT_NE(copy.find("bbbb"), std::string::npos);
  EXPECT_EQ(read_text(second_copy), kMissing);
  int files = 0;
  platform::list_folder(dir.path(), [&](const platform::FolderEntry&) { return ++files, true; });
  EXPECT_EQ(files, 2);
  const std::string current = read_text(path);
  EXPECT_TRUE(current.ends_with(" last c\n")) << current;
}

}  // namespace
