// Sharing rules beyond single opens: copies from and onto open files,
// readers counted one by one, and many threads at once.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/error.h"
#include "platform/file_text.h"
#include "platform/files.h"
#include "support/temp_dir.h"

namespace {

using platform_test::read_text;

struct CopyCase {
  const char* name;
  bool held_for_writing;
  bool held_is_source;  // copy from the open file, or onto it
  bool allowed;
};

const CopyCase kCopyCases[] = {
    {"FromFileOpenForReading", false, true, true},
    {"OntoFileOpenForReading", false, false, false},
    {"FromFileOpenForWriting", true, true, false},
    {"OntoFileOpenForWriting", true, false, false},
};

class SharingCopy : public ::testing::TestWithParam<CopyCase> {};

TEST_P(SharingCopy, ObeysTheOpenFile) {
  const CopyCase& c = GetParam();
  TempDir dir;
  const std::u16string held = dir / u"held", other = dir / u"other";
  TempDir::write(held, "original");
  TempDir::write(other, "other");
  const std::string held_content = c.held_for_writing ? "written" : "original";
  const std::string other_before = read_text(other);
  {
    platform::File f = c.held_for_writing ? platform::create_always(held) : platform::open_for_read(held);
    ASSERT_TRUE(f.valid());
    std::uint32_t n = 0;
    if (c.held_for_writing) {
      ASSERT_TRUE(f.write("written", 7, &n) && n == 7);
    }
    platform::Error error;
    const bool copied =
        c.held_is_source ? platform::copy_file(held, other, &error) : platform::copy_file(other, held, &error);
    EXPECT_EQ(copied, c.allowed);
    if (!copied) {
      EXPECT_EQ(read_text(other), other_before) << "a refused copy changed the other file";
      // Held, not missing: the caller can tell the two apart.
      EXPECT_EQ(error.kind, platform::ErrorKind::busy) << platform::describe(error);
    }
  }
  if (!c.allowed) {
    EXPECT_EQ(read_text(held), held_content) << "a refused copy changed the open file";
    // Closed, the same copy goes through.
    EXPECT_TRUE(c.held_is_source ? platform::copy_file(held, other) : platform::copy_file(other, held));
  }
}

INSTANTIATE_TEST_SUITE_P(Platform, SharingCopy, ::testing::ValuesIn(kCopyCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(SharingReaders, WritingWaitsForTheLastReader) {
  TempDir dir;
  const std::u16string path = dir / u"f.txt";
  TempDir::write(path, "x");
  platform::File r1 = platform::open_for_read(path);
  platform::File r2 = platform::open_for_read(path);
  ASSERT_TRUE(r1 && r2);
  r1.close();
  EXPECT_FALSE(platform::create_always(path).valid());
  EXPECT_FALSE(platform::delete_file(path));
  r2.close();
  EXPECT_TRUE(platform::create_always(path).valid());
  EXPECT_TRUE(platform::delete_file(path));
}

// Readers and writers of one file on several threads: a writer must never
// hold the file together with anyone else.
TEST(SharingThreads, WriterIsAlwaysAlone) {
  TempDir dir;
  const std::u16string path = dir / u"busy.txt";
  TempDir::write(path, "x");
  std::atomic<int> readers{0}, writers{0}, violations{0}, writes{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 300; ++i) {
        if ((t + i) % 3 == 0) {
          platform::File w = platform::create_always(path);
          if (!w) continue;
          ++writes;
          if (writers.fetch_add(1) != 0 || readers.load() != 0) ++violations;
          writers.fetch_sub(1);
        } else {
          platform::File r = platform::open_for_read(path);
          if (!r) continue;
          readers.fetch_add(1);
          if (writers.load() != 0) ++violations;
          readers.fetch_sub(1);
        }
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(violations.load(), 0);
  EXPECT_GT(writes.load(), 0);
}

}  // namespace
