// Project removal against links and names that only POSIX allows: nothing
// outside the project folder may go.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "media/media_fixture.h"
#include "media/remove_tree.h"
#include "platform/files.h"
#include "platform/posix/posix_path.h"

namespace {

using platform::posix::to_native;

class RemoveTreePosix : public MediaFixture {
 protected:
  void SetUp() override {
    MediaFixture::SetUp();
    outside_ = dir_ / u"outside";
    ASSERT_TRUE(platform::create_folder(outside_));
    TempDir::write(outside_ + u"\\victim", "keep me");
    ASSERT_TRUE(platform::create_folder(media_ + u"\\p"));
    TempDir::write(media_ + u"\\p\\item", "item");
  }
  static void link(const std::u16string& target, const std::u16string& at) {
    ASSERT_EQ(::symlink(to_native(target).c_str(), to_native(at).c_str()), 0);
  }
  std::u16string outside_;
};

TEST_F(RemoveTreePosix, LinksAreRemovedAsLinks) {
  link(outside_, media_ + u"\\p\\to_folder");
  link(outside_ + u"\\victim", media_ + u"\\p\\to_file");
  link(dir_ / u"nothing-there", media_ + u"\\p\\dangling");
  EXPECT_TRUE(remove_tree(media_ + u"\\p"));
  EXPECT_FALSE(exists(media_ + u"\\p"));
  EXPECT_EQ(read(outside_ + u"\\victim"), "keep me");
}

TEST_F(RemoveTreePosix, AProjectFolderThatIsALinkGoesAsALink) {
  link(outside_, media_ + u"\\q");
  EXPECT_TRUE(remove_tree(media_ + u"\\q"));
  EXPECT_FALSE(exists(media_ + u"\\q"));
  EXPECT_EQ(read(outside_ + u"\\victim"), "keep me");
}

TEST_F(RemoveTreePosix, ANameWithABackslashNeverReachesAnotherPath) {
  // On the disk this is one file named "..\..\outside\victim" inside p; read
  // as a Windows-form path it would climb out of the media folder.
  const std::string tricky = to_native(media_ + u"\\p") + "/..\\..\\outside\\victim";
  FILE* raw = std::fopen(tricky.c_str(), "w");
  ASSERT_NE(raw, nullptr);
  std::fclose(raw);
  EXPECT_FALSE(remove_tree(media_ + u"\\p"));  // the odd file stays, so does p
  EXPECT_EQ(read(outside_ + u"\\victim"), "keep me");
  EXPECT_EQ(::access(tricky.c_str(), F_OK), 0);
  EXPECT_FALSE(exists(media_ + u"\\p\\item"));
  ::unlink(tricky.c_str());
}

}  // namespace
