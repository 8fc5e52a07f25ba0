// Copies onto an item that must not be lost: one being played, and the
// source itself.
#include <gtest/gtest.h>

#include <string>

#include "http/handlers.h"
#include "media/media_fixture.h"
#include "platform/files.h"
#include "platform/handle.h"

namespace {

class MediaCopy : public MediaFixture {
 protected:
  void SetUp() override {
    MediaFixture::SetUp();
    ASSERT_TRUE(platform::create_folder(media_ + u"\\src"));
    TempDir::write(item(u"src", u"typed"), "typed bytes");
    TempDir::write(item(u"src", u"typed.mime"), "video/webm");
    TempDir::write(item(u"src", u"plain"), "plain bytes");
  }
  std::string copy(const std::string& query) {
    return run([&](platform::NativeHandle s) { handle_media_copy(context_, s, query.c_str()); });
  }
  const std::string ok_ = simple("200 OK", "text/plain", "ok");
  const std::string missing_ = simple("404 Not Found", "text/plain", "missing");
};

TEST_F(MediaCopy, ATargetBeingPlayedStaysWhole) {
  ASSERT_EQ(copy("fromProject=src&fromId=typed&toProject=dst&toId=t"), ok_);
  {
    platform::File playing = platform::open_for_read(item(u"dst", u"t"));
    ASSERT_TRUE(playing);
    EXPECT_EQ(copy("fromProject=src&fromId=plain&toProject=dst&toId=t"), missing_);
  }
  EXPECT_EQ(read(item(u"dst", u"t")), "typed bytes");
  EXPECT_EQ(read(item(u"dst", u"t.mime")), "video/webm");
  EXPECT_FALSE(exists(item(u"dst", u"t.tmp")));
}

TEST_F(MediaCopy, OntoItselfLosesNothing) {
  EXPECT_EQ(copy("fromProject=src&fromId=typed&toProject=src&toId=typed"), ok_);
  EXPECT_EQ(read(item(u"src", u"typed")), "typed bytes");
  EXPECT_EQ(read(item(u"src", u"typed.mime")), "video/webm");
  EXPECT_FALSE(exists(item(u"src", u"typed.tmp")));
}

}  // namespace
