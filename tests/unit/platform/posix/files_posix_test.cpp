// File and folder services where Linux differs from Windows: symbolic
// links, folders and devices opened as files, targets of every kind, and the
// sharing rules kept by this process itself.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "platform/file_text.h"
#include "platform/files.h"
#include "platform/posix/posix_path.h"
#include "platform/text.h"
#include "support/temp_dir.h"

namespace {

using platform::posix::to_native;
using platform_test::read_text;

// A folder with one entry of every kind.
struct Tree {
  TempDir dir;
  Tree() {
    TempDir::write(dir / u"file", "content");
    EXPECT_TRUE(platform::create_folder(dir / u"folder"));
    TempDir::write(dir / u"folder\\inside", "kept");
    link(u"folder", u"link_to_folder");
    link(u"file", u"link_to_file");
    link(u"nothing", u"dangling");
  }
  void link(const char16_t* target, const char16_t* name) {
    EXPECT_EQ(::symlink(to_native(dir / target).c_str(), to_native(dir / name).c_str()), 0);
  }
};

TEST(FileAttributes, ReportFolderAndReparseBitsLikeWindows) {
  Tree t;
  struct Row {
    const char16_t* name;
    bool invalid, folder, reparse;
  };
  const Row rows[] = {
      {u"missing", true, true, true},        {u"file", false, false, false},
      {u"folder", false, true, false},       {u"link_to_folder", false, true, true},
      {u"link_to_file", false, false, true}, {u"dangling", false, false, true},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(platform::utf16_to_utf8(r.name));
    const std::uint32_t a = platform::file_attributes(t.dir / r.name);
    EXPECT_EQ(a == platform::kInvalidAttributes, r.invalid);
    EXPECT_EQ((a & platform::kAttrDirectory) != 0, r.folder);
    EXPECT_EQ((a & platform::kAttrReparsePoint) != 0, r.reparse);
  }
}

TEST(ListFolder, LinksAreLinksAndNeverFolders) {
  Tree t;
  std::map<std::u16string, std::pair<bool, bool>> seen;  // name -> folder, link
  ASSERT_TRUE(platform::list_folder(t.dir.path(), [&](const platform::FolderEntry& e) {
    EXPECT_TRUE(seen.emplace(e.name, std::make_pair(e.is_folder, e.is_link)).second);
    return true;
  }));
  const std::map<std::u16string, std::pair<bool, bool>> expected = {
      {u"file", {false, false}},        {u"folder", {true, false}},  {u"link_to_folder", {false, true}},
      {u"link_to_file", {false, true}}, {u"dangling", {false, true}},
  };
  EXPECT_EQ(seen, expected);
  EXPECT_FALSE(platform::list_folder(t.dir / u"file", [](const platform::FolderEntry&) { return true; }));
}

TEST(OpenForRead, FollowsLinksToFilesButOpensNoFolder) {
  Tree t;
  EXPECT_EQ(read_text(t.dir / u"link_to_file"), "content");
  EXPECT_FALSE(platform::open_for_read(t.dir / u"folder").valid());
  EXPECT_FALSE(platform::open_for_read(t.dir / u"link_to_folder").valid());
  platform::File dev = platform::open_for_read(u"\\dev\\null");
  ASSERT_TRUE(dev.valid());
  EXPECT_FALSE(dev.is_regular());
}

TEST(CreateFile, NeverFollowsALink) {
  Tree t;
  EXPECT_FALSE(platform::create_always(t.dir / u"link_to_file").valid());
  EXPECT_FALSE(platform::create_new(t.dir / u"link_to_file").valid());
  EXPECT_FALSE(platform::create_new(t.dir / u"dangling").valid());
  EXPECT_FALSE(platform::create_always(t.dir / u"folder").valid());
  EXPECT_EQ(read_text(t.dir / u"file"), "content");
  EXPECT_EQ(platform::file_attributes(t.dir / u"nothing"), platform::kInvalidAttributes);
}

TEST(MoveFile, RefusesTargetsOfEveryKindAndMovesFolders) {
  Tree t;
  TempDir::write(t.dir / u"src", "src");
  for (const char16_t* target : {u"folder", u"dangling", u"link_to_file"}) {
    EXPECT_FALSE(platform::move_file(t.dir / u"src", t.dir / target)) << platform::utf16_to_utf8(target);
  }
  EXPECT_EQ(read_text(t.dir / u"src"), "src");
  EXPECT_TRUE(platform::move_file(t.dir / u"folder", t.dir / u"folder2"));
  EXPECT_EQ(read_text(t.dir / u"folder2\\inside"), "kept");
}

TEST(CopyFile, NeedsARegularSourceOtherThanTheTarget) {
  Tree t;
  EXPECT_FALSE(platform::copy_file(t.dir / u"folder", t.dir / u"c"));
  EXPECT_FALSE(platform::copy_file(t.dir / u"file", t.dir / u"file"));
  EXPECT_EQ(read_text(t.dir / u"file"), "content");
  EXPECT_EQ(read_text(t.dir / u"c"), "<missing>");
}

TEST(Folders, LinksGoAsLinksAndTheirTargetsStay) {
  Tree t;
  EXPECT_FALSE(platform::remove_folder(t.dir / u"link_to_file"));
  EXPECT_FALSE(platform::delete_file(t.dir / u"folder"));
  EXPECT_TRUE(platform::remove_folder(t.dir / u"link_to_folder"));
  EXPECT_EQ(platform::file_attributes(t.dir / u"link_to_folder"), platform::kInvalidAttributes);
  EXPECT_EQ(read_text(t.dir / u"folder\\inside"), "kept");
  EXPECT_TRUE(platform::delete_file(t.dir / u"link_to_file"));
  EXPECT_EQ(read_text(t.dir / u"file"), "content");
}

// Calls on one name from several threads must give answers that the same
// calls one after another could give: a file open for writing never goes
// away under its writer, and an item replaced again and again is never
// missing for a reader, who gets the old or the new file.
TEST(SharingThreads, CallsOnOneNameTakeTurns) {
  TempDir dir;
  const std::u16string item = dir / u"item", staging = dir / u"item.tmp", held = dir / u"held";
  TempDir::write(item, "0");
  constexpr int kReplacements = 200;
  std::atomic<bool> stop{false};
  std::atomic<int> missing{0}, vanished{0}, replaced{0}, deleted{0};
  // Until the replacements are done, the others go round as fast as they can.
  std::vector<std::thread> others;
  others.emplace_back([&] {
    while (!stop) {
      if (!platform::open_for_read(item)) ++missing;
    }
  });
  others.emplace_back([&] {
    while (!stop) {
      platform::File w = platform::create_always(held);
      if (w && platform::file_attributes(held) == platform::kInvalidAttributes) ++vanished;
    }
  });
  others.emplace_back([&] {
    while (!stop) {
      if (platform::delete_file(held)) ++deleted;
    }
  });
  for (int i = 0; i < kReplacements; ++i) {
    TempDir::write(staging, "1");
    if (platform::replace_file(staging, item)) ++replaced;
  }
  stop = true;
  for (auto& t : others) t.join();
  EXPECT_EQ(missing.load(), 0) << "a reader found the item missing while it was replaced";
  EXPECT_EQ(vanished.load(), 0) << "a file open for writing was deleted";
  EXPECT_GT(replaced.load(), 0);
  EXPECT_GT(deleted.load(), 0);
}

}  // namespace
