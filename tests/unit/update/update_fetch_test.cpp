// Where the body of an update fetch goes: the 120 MiB cap, the bounded
// buffer that keeps what fits, and the file that gets every byte.
#include "update/update_fetch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/https.h"
#include "support/temp_dir.h"

namespace {

std::string read_file(const std::u16string& path) {
  platform::File f = platform::open_for_read(path);
  std::string out;
  char block[4096];
  std::uint32_t got = 0;
  while (f.read(block, sizeof block, &got) && got > 0) out.append(block, got);
  return out;
}

TEST(FetchTarget, CapAcceptsExactly120MiBAndNotOneByteMore) {
  const std::vector<char> block(platform::kHttpsReadBlock, 'x');
  FetchTarget t;  // neither file nor buffer: only the count matters
  for (std::uint64_t sent = 0; sent < kUpdateBodyCap; sent += block.size())
    ASSERT_TRUE(take_body_block(t, block.data(), block.size())) << "at " << sent;
  EXPECT_EQ(t.total, 125829120u);
  EXPECT_FALSE(take_body_block(t, block.data(), 1));
}

TEST(FetchTarget, BufferKeepsWhatFitsAndDropsTheRest) {
  struct Case {
    const char* what;
    std::vector<std::size_t> blocks;
    std::size_t capacity;
    std::size_t expected_length;
  };
  const Case cases[] = {
      {"10,000 bytes into 8192", {4096, 4096, 1808}, 8192, 8191},
      {"one block larger than the buffer", {10000}, 8192, 8191},
      {"exactly capacity - 1", {8191}, 8192, 8191},
      {"small body", {5}, 8192, 5},
      {"empty body", {}, 8192, 0},
      {"more after the buffer filled", {8191, 1, 16384}, 8192, 8191},
  };
  for (const Case& c : cases) {
    std::vector<char> buffer(c.capacity + 8, '#');  // a guard past the end
    buffer[0] = '\0';
    std::size_t length = 0;
    FetchTarget t;
    t.buffer = buffer.data();
    t.capacity = c.capacity;
    t.length = &length;
    std::string sent;
    for (std::size_t n : c.blocks) {
      std::string block(n, '\0');
      for (std::size_t i = 0; i < n; ++i) block[i] = char('a' + (sent.size() + i) % 26);
      EXPECT_TRUE(take_body_block(t, block.data(), n)) << c.what;
      sent += block;
    }
    EXPECT_EQ(length, c.expected_length) << c.what;
    EXPECT_EQ(std::string(buffer.data(), length), sent.substr(0, c.expected_length)) << c.what;
    EXPECT_EQ(buffer[length], '\0') << c.what;
    for (std::size_t i = c.capacity; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], '#') << c.what;
  }
}

TEST(FetchTarget, BufferWithoutLengthGetsNothing) {
  char buffer[16] = "";
  FetchTarget t;
  t.buffer = buffer;
  t.capacity = sizeof buffer;
  EXPECT_TRUE(take_body_block(t, "abc", 3));
  EXPECT_EQ(buffer[0], '\0');
}

TEST(FetchTarget, FileGetsEveryByte) {
  TempDir dir;
  const std::u16string path = dir / u"body.bin";
  std::string sent;
  {
    platform::File f = platform::create_always(path);
    ASSERT_TRUE(f.valid());
    FetchTarget t;
    t.file = &f;
    for (int i = 0; i < 5; ++i) {
      const std::string block(platform::kHttpsReadBlock, char('0' + i));
      ASSERT_TRUE(take_body_block(t, block.data(), block.size()));
      sent += block;
    }
  }
  EXPECT_EQ(read_file(path), sent);
}

TEST(FetchTarget, FailedWriteEndsTheFetch) {
  TempDir dir;
  const std::u16string path = dir / u"read-only-handle.bin";
  TempDir::write(path, "x");
  platform::File f = platform::open_for_read(path);  // writes through it fail
  ASSERT_TRUE(f.valid());
  FetchTarget t;
  t.file = &f;
  EXPECT_FALSE(take_body_block(t, "abc", 3));
}

}  // namespace
