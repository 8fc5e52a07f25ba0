// Writers racing for one item: twelve uploads, or twelve copies, at once.
// Each round starts them together; afterwards the item's bytes and its
// recorded type must both be those of one request that was answered "ok",
// and no staging file may be left. Rounds repeat for a bounded time.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "http/handlers.h"
#include "media/media_fixture.h"
#include "platform/handle.h"
#include "platform/threads.h"

namespace {

constexpr int kWriters = 12;
constexpr std::uint32_t kRaceMs = 1500;
constexpr int kMaxRounds = 200;

class MediaRace : public MediaFixture {
 protected:
  static std::string body_of(int i) { return std::string(std::size_t(1000 + 37 * i), char('a' + i)); }
  static std::string type_of(int i) { return "t/" + std::to_string(i); }

  // Runs `writer(i)` on kWriters threads released together; returns which
  // of them were answered "ok".
  template <class Writer>
  static std::vector<bool> round(Writer writer) {
    // One whole byte per writer (not vector<bool>'s shared bits): each
    // thread writes only its own.
    std::array<bool, kWriters> answered{};
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kWriters; ++i) {
      threads.emplace_back([&, i] {
        ++ready;
        while (ready.load() < kWriters) std::this_thread::yield();
        answered[std::size_t(i)] = writer(i);
      });
    }
    for (auto& t : threads) t.join();
    return std::vector<bool>(answered.begin(), answered.end());
  }

  // The item holds the bytes and type of one writer that was answered "ok".
  void expect_one_writer(const std::u16string& path, const std::vector<bool>& ok, int round_number) {
    const std::string bytes = read(path);
    const std::string type = read(path + u".mime");
    int owner = -1;
    for (int i = 0; i < kWriters; ++i) {
      if (ok[std::size_t(i)] && bytes == body_of(i)) owner = i;
    }
    ASSERT_NE(owner, -1) << "round " << round_number << ": bytes of no request answered ok (" << bytes.size()
                         << " bytes)";
    ASSERT_EQ(type, type_of(owner)) << "round " << round_number;
    ASSERT_FALSE(exists(path + u".tmp"));
    ASSERT_FALSE(exists(path + u".mime.tmp"));
  }

  template <class Writer>
  void race(const std::u16string& path, Writer writer) {
    const std::uint32_t start = platform::tick_ms();
    int rounds = 0;
    while (rounds < kMaxRounds && platform::tick_ms() - start < kRaceMs) {
      const std::vector<bool> ok = round(writer);
      ASSERT_NE(std::count(ok.begin(), ok.end(), true), 0) << "round " << rounds;
      expect_one_writer(path, ok, rounds);
      ++rounds;
      if (HasFatalFailure()) return;
    }
    EXPECT_GT(rounds, 0);
  }
};

std::string upload_query(const std::string& project, const std::string& id, int i) {
  return "project=" + project + "&id=" + id + "&mime=t%2F" + std::to_string(i);
}

TEST_F(MediaRace, UploadsOfOneItem) {
  const std::string ok = simple("200 OK", "text/plain; charset=utf-8", "ok");
  const std::string disk = simple("500 Error", "text/plain", "disk");
  const std::string move = simple("500 Error", "text/plain", "move");
  race(item(u"u", u"x"), [&](int i) {
    const std::string body = body_of(i);
    const std::string block = "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
    const std::string query = upload_query("u", "x", i);
    const std::string answer = run([&](platform::NativeHandle s) {
      handle_media_upload(context_, s, query.c_str(), block.c_str(), body.data(), std::int32_t(body.size()));
    });
    // A writer that came second is turned away, the first never harmed.
    EXPECT_TRUE(answer == ok || answer == disk || answer == move) << answer;
    return answer == ok;
  });
}

TEST_F(MediaRace, CopiesOntoOneTarget) {
  for (int i = 0; i < kWriters; ++i) {
    const std::string body = body_of(i);
    const std::string block = "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
    const std::string query = upload_query("src", "s" + std::to_string(i), i);
    run([&](platform::NativeHandle s) {
      handle_media_upload(context_, s, query.c_str(), block.c_str(), body.data(), std::int32_t(body.size()));
    });
  }
  const std::string ok = simple("200 OK", "text/plain", "ok");
  const std::string missing = simple("404 Not Found", "text/plain", "missing");
  race(item(u"dst", u"t"), [&](int i) {
    const std::string query = "fromProject=src&fromId=s" + std::to_string(i) + "&toProject=dst&toId=t";
    const std::string answer = run([&](platform::NativeHandle s) { handle_media_copy(context_, s, query.c_str()); });
    EXPECT_TRUE(answer == ok || answer == missing) << answer;
    return answer == ok;
  });
}

}  // namespace
