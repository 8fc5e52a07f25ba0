#include "http/byte_range.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

TEST(ResolveRange, TableForAThousandByteFile) {
  struct Case {
    const char* value;
    std::int64_t first, length;
    bool partial;
  };
  const Case cases[] = {
      {"", 0, 1000, false},
      {"bytes=0-", 0, 1000, true},
      {"bytes=0-0", 0, 1, true},
      {"bytes=100-", 100, 900, true},
      {"bytes=0-99999", 0, 1000, true},
      {"bytes=-500", 500, 500, true},  // a suffix: the last 500 bytes
      {"BYTES=10-19", 10, 10, true},
      {"bytes=0-99,200-299", 0, 100, true},
      {"bytes=500-100", 0, 1000, false},
      {"bytes=1000-", 0, 1000, false},
      {"bytes=2000-", 0, 1000, false},
      {"bytes=5", 0, 1000, false},
      {"items=0-9", 0, 1000, false},
      {"bytes=999-", 999, 1, true},
      {"bytes= 5 - 9", 5, 5, true},
      {"bytes=-5-10", 995, 5, true},
      {"bytes=-", 0, 1000, true},
      {"bytes=-1", 999, 1, true},
      {"bytes=-999", 1, 999, true},
      {"bytes=-1000", 0, 1000, true},
      {"bytes=-1001", 0, 1000, true},  // longer than the file: all of it
      {"bytes=-0", 0, 1000, false},    // asks for nothing: refused
      {"bytes= -20", 980, 20, true},
      {"bytes=- 20", 980, 20, true},
      {"bytes=-+20", 0, 21, true},     // not a suffix: from 0, as before
      {"bytes=-x", 0, 1, true},
      {"bytes=x-y", 0, 1, true},
      {"bytes=99999999999999999999-", 0, 1000, false},
      {"bytes=-99999999999999999999", 0, 1000, true},
      {"bytes", 0, 1000, false},
  };
  for (const auto& c : cases) {
    const RangeOutcome r = resolve_range(c.value, 1000);
    EXPECT_EQ(r.first, c.first) << c.value;
    EXPECT_EQ(r.length, c.length) << c.value;
    EXPECT_EQ(r.partial, c.partial) << c.value;
    EXPECT_EQ(r.status(), c.partial ? 206 : 200);
  }
}

TEST(ResolveRange, EmptyFilesAndSizesBeyondFourGiB) {
  for (const char* value : {"", "bytes=0-", "bytes=5-9"}) {
    const RangeOutcome r = resolve_range(value, 0);
    EXPECT_EQ(r.first, 0);
    EXPECT_EQ(r.length, 0);
    EXPECT_FALSE(r.partial);
  }
  const std::int64_t size = (std::int64_t(5) << 30) + 17;
  const RangeOutcome tail = resolve_range("bytes=5368709120-", size);
  EXPECT_TRUE(tail.partial);
  EXPECT_EQ(tail.first, 5368709120);
  EXPECT_EQ(tail.length, 17);
  EXPECT_EQ(resolve_range("", size).length, size);
  const RangeOutcome suffix = resolve_range("bytes=-17", size);
  EXPECT_EQ(suffix.first, size - 17);
  EXPECT_EQ(suffix.length, 17);
}

}  // namespace
