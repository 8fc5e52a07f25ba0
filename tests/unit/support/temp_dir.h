// A fresh folder under the temporary folder, removed with everything in it
// when the test ends. Built on the platform layer, so the same code works
// natively and under Wine.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "base/bounded_format.h"
#include "platform/files.h"
#include "platform/process.h"

inline void remove_tree_for_tests(const std::u16string& path) {
  platform::list_folder(path, [&](const platform::FolderEntry& e) {
    const std::u16string child = path + u"\\" + e.name;
    if (e.is_folder) remove_tree_for_tests(child);
    else if (e.is_link) { if (!platform::delete_file(child)) platform::remove_folder(child); }
    else platform::delete_file(child);
    return true;
  });
  platform::remove_folder(path);
}

class TempDir {
 public:
  TempDir() {
    static std::atomic<int> counter{0};
    auto base = platform::temp_folder();
    EXPECT_TRUE(base.has_value());
    std::u16string root = base.value_or(u"");
    while (!root.empty() && root.back() == u'\\') root.pop_back();
    const std::string name = "vesklar-unit-" + std::to_string(platform::current_process_id()) + "-" +
                             std::to_string(counter++);
    path_ = root + u"\\" + base::widen_ascii(name);
    remove_tree_for_tests(path_);
    EXPECT_TRUE(platform::create_folder(path_));
  }
  ~TempDir() { remove_tree_for_tests(path_); }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::u16string& path() const { return path_; }
  std::u16string operator/(std::u16string_view name) const { return path_ + u"\\" + std::u16string(name); }

  // Writes `bytes` into a new file, replacing an old one.
  static void write(const std::u16string& path, const std::string& bytes) {
    platform::File f = platform::create_always(path);
    ASSERT_TRUE(f.valid());
    std::size_t done = 0;
    while (done < bytes.size()) {
      std::uint32_t n = 0;
      ASSERT_TRUE(f.write(bytes.data() + done, std::uint32_t(bytes.size() - done), &n));
      ASSERT_GT(n, 0u);
      done += n;
    }
  }

 private:
  std::u16string path_;
};
