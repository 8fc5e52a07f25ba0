#include <gtest/gtest.h>

#include <string>

#include "platform/error.h"
#include "platform/files.h"
#include "support/temp_dir.h"

namespace {

// The log's cause of a failed call is the kind, the number and the system's
// own text, readable as it is.
TEST(ErrorText, DescribesAFailedOpenWithTheSystemsText) {
  TempDir dir;
  ASSERT_FALSE(platform::open_for_read(dir / u"absent.txt").valid());
  const platform::Error error = platform::last_error();
  EXPECT_EQ(error.kind, platform::ErrorKind::not_found);
  const std::string text = platform::describe(error);
  const std::string head = "not_found (" + std::to_string(error.code) + ": ";
  ASSERT_EQ(text.substr(0, head.size()), head) << text;
  ASSERT_GT(text.size(), head.size() + 1) << text;
  EXPECT_EQ(text.back(), ')');
  for (const char c : text.substr(head.size())) EXPECT_TRUE(c >= ' ' && c <= '~') << text;
}

}  // namespace
