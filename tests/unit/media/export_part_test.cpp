#include "media/export_part.h"

#include <gtest/gtest.h>

#include <string>

#include "media/media_fixture.h"
#include "platform/files.h"

namespace {

TEST(ExportPart, NoExportNameEndsLikeAPartFile) {
  struct Case {
    std::u16string name, kept;
  };
  const Case cases[] = {
      {u"clip.mp4", u"clip.mp4"},
      {u"clip.mp4.vesklar-part", u"clip.mp4_vesklar-part"},
      {u"CLIP.VESKLAR-PART", u"CLIP_VESKLAR-PART"},
      {u".vesklar-part", u"_vesklar-part"},
      {u"vesklar-part", u"vesklar-part"},
      {u"a.vesklar-part.mp4", u"a.vesklar-part.mp4"},
      {u"a.vesklar-parts", u"a.vesklar-parts"},
  };
  for (const Case& c : cases) {
    const std::u16string kept = keep_off_part_names(c.name);
    EXPECT_EQ(kept, c.kept);
    EXPECT_FALSE(is_part_name(kept));
  }
}

class LeftoverExports : public MediaFixture {};

TEST_F(LeftoverExports, OnlyPartFilesGo) {
  const std::u16string& downloads = context_.folders.downloads;
  ASSERT_TRUE(platform::create_folder(downloads));
  for (const char16_t* name : {u"clip.mp4.vesklar-part", u"old-2.bin.VESKLAR-PART", u"clip.mp4", u"keep.part"}) {
    TempDir::write(downloads + u"\\" + name, "bytes");
  }
  // A folder of that form is not a part file of a save.
  ASSERT_TRUE(platform::create_folder(downloads + u"\\dir.vesklar-part"));

  remove_leftover_exports(downloads);

  EXPECT_FALSE(exists(downloads + u"\\clip.mp4.vesklar-part"));
  EXPECT_FALSE(exists(downloads + u"\\old-2.bin.VESKLAR-PART"));
  EXPECT_EQ(read(downloads + u"\\clip.mp4"), "bytes");
  EXPECT_EQ(read(downloads + u"\\keep.part"), "bytes");
  EXPECT_TRUE(exists(downloads + u"\\dir.vesklar-part"));
}

}  // namespace
