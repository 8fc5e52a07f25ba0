// The latest version fields: what each kind of outcome stores, and that
// readers on other threads only ever see whole updates.
#include "update/latest_version.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "base/bounded_format.h"

namespace {

ManifestFindings findings(ManifestFindings::Store store, std::int32_t n, std::string name, std::u16string url) {
  ManifestFindings f;
  f.store = store;
  f.number = n;
  f.name = std::move(name);
  f.url = std::move(url);
  return f;
}

// A fresh store for each test, as a fresh process has it.
class LatestVersionFields : public ::testing::Test {
 protected:
  LatestVersionStore store_;
};

TEST_F(LatestVersionFields, EachOutcomeStoresItsShare) {
  using Store = ManifestFindings::Store;
  LatestVersion seen;
  store_.publish(findings(Store::everything, 5, "1.5", u"https://h/descargas/5.zip"), &seen);
  EXPECT_EQ(seen.number, 5);
  EXPECT_EQ(seen.name, "1.5");
  EXPECT_EQ(seen.url, u"https://h/descargas/5.zip");

  // A failed fetch changes nothing, but the caller still sees the fields.
  store_.publish(findings(Store::nothing, 9, "9.9", u"x"), &seen);
  EXPECT_EQ(seen.number, 5);
  EXPECT_EQ(seen.name, "1.5");
  EXPECT_EQ(seen.url, u"https://h/descargas/5.zip");

  // No usable URL: number and name change, the URL stays.
  store_.publish(findings(Store::number_and_name, 6, "", u"ignored"), &seen);
  EXPECT_EQ(seen.number, 6);
  EXPECT_EQ(seen.name, "");
  EXPECT_EQ(seen.url, u"https://h/descargas/5.zip");

  const LatestVersion now = store_.read();
  EXPECT_EQ(now.number, 6);
  EXPECT_EQ(now.url, u"https://h/descargas/5.zip");
}

TEST_F(LatestVersionFields, ConcurrentChecksNeverTearTheFields) {
  using Store = ManifestFindings::Store;
  // Every writer publishes a matching triple; a reader that sees a number
  // with another writer's name or URL has caught a torn update.
  std::atomic<bool> stop{false};
  std::atomic<int> torn{0};
  const auto consistent = [](const LatestVersion& v) {
    const std::string n = std::to_string(v.number);
    return v.name == n && v.url == u"https://h/descargas/" + base::widen_ascii(n) + u".zip";
  };
  store_.publish(findings(Store::everything, 1, "1", u"https://h/descargas/1.zip"), nullptr);
  std::vector<std::thread> threads;
  for (int w = 0; w < 3; ++w) {
    threads.emplace_back([this, w, &torn, &consistent] {
      for (int i = 0; i < 3000; ++i) {
        const std::int32_t n = 1000000 * (w + 1) + i;
        const std::string s = std::to_string(n);
        LatestVersion seen;
        store_.publish(findings(Store::everything, n, s, u"https://h/descargas/" + base::widen_ascii(s) + u".zip"),
                       &seen);
        if (!consistent(seen)) ++torn;
      }
    });
  }
  threads.emplace_back([&] {
    while (!stop.load())
      if (!consistent(store_.read())) ++torn;
  });
  for (std::size_t i = 0; i + 1 < threads.size(); ++i) threads[i].join();
  stop.store(true);
  threads.back().join();
  EXPECT_EQ(torn.load(), 0);
}

}  // namespace
