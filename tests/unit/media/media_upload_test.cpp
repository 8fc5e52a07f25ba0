// Replacing an item in the ways that must fail leaves the earlier item
// whole: checked in-process, where the file holding an item or its staging
// file open is under the test's control.
#include <gtest/gtest.h>

#include <string>

#include "http/handlers.h"
#include "media/media_fixture.h"
#include "platform/files.h"
#include "platform/handle.h"

namespace {

class MediaUpload : public MediaFixture {
 protected:
  std::string upload(const std::string& query, const std::string& headers, const std::string& prefix,
                     const std::string& late = "") {
    const std::string block = headers + "\r\n";
    return run(
        [&](platform::NativeHandle s) {
          handle_media_upload(context_, s, query.c_str(), block.c_str(), prefix.data(), std::int32_t(prefix.size()));
        },
        late);
  }
  const std::string ok_ = simple("200 OK", "text/plain; charset=utf-8", "ok");
};

TEST_F(MediaUpload, FailedReplacementsKeepTheEarlierItem) {
  ASSERT_EQ(upload("project=p&id=v&mime=video/mp4", "Content-Length: 3\r\n", "old"), ok_);

  {
    // A playback holds the item: the new one cannot replace it.
    platform::File playing = platform::open_for_read(item(u"p", u"v"));
    ASSERT_TRUE(playing);
    EXPECT_EQ(upload("project=p&id=v&mime=audio/ogg", "Content-Length: 3\r\n", "new"),
              simple("500 Error", "text/plain", "move"));
  }
  EXPECT_EQ(read(item(u"p", u"v")), "old");
  EXPECT_EQ(read(item(u"p", u"v.mime")), "video/mp4");
  EXPECT_FALSE(exists(item(u"p", u"v.tmp")));

  {
    // Another upload of the same item is still writing its staging file.
    platform::File other = platform::create_always(item(u"p", u"v.tmp"));
    ASSERT_TRUE(other);
    EXPECT_EQ(upload("project=p&id=v", "Content-Length: 3\r\n", "new"), simple("500 Error", "text/plain", "disk"));
  }
  EXPECT_EQ(read(item(u"p", u"v")), "old");
  ASSERT_TRUE(platform::delete_file(item(u"p", u"v.tmp")));

  // The client goes away half-way through the body.
  const std::string block = "Content-Length: 100\r\n\r\n";
  run_broken_off(
      [&](platform::NativeHandle s) { handle_media_upload(context_, s, "project=p&id=v", block.c_str(), "new", 3); },
      "more bytes");
  EXPECT_EQ(read(item(u"p", u"v")), "old");
  EXPECT_EQ(read(item(u"p", u"v.mime")), "video/mp4");
  EXPECT_FALSE(exists(item(u"p", u"v.tmp")));

  // And a complete upload still replaces bytes and type.
  EXPECT_EQ(upload("project=p&id=v&mime=audio/ogg", "Content-Length: 5\r\n", "ne", "wer"), ok_);
  EXPECT_EQ(read(item(u"p", u"v")), "newer");
  EXPECT_EQ(read(item(u"p", u"v.mime")), "audio/ogg");
}

}  // namespace
