// Thread handles: a move keeps one owner, and a handle that is dropped or
// overwritten detaches its thread instead of waiting for it or losing it.
#include <gtest/gtest.h>

#include <atomic>
#include <utility>

#include "platform/threads.h"

namespace {

struct Gate {
  std::atomic<bool> open{false};
  std::atomic<int> finished{0};
};

void wait_for_gate(void* p) {
  auto* g = static_cast<Gate*>(p);
  while (!g->open) platform::sleep_ms(1);
  ++g->finished;
}

bool eventually(const std::atomic<int>& v, int want) {
  for (int i = 0; i < 5000 && v != want; ++i) platform::sleep_ms(1);
  return v == want;
}

TEST(ThreadHandle, MovesKeepOneOwnerAndDroppingDetaches) {
  static Gate g;  // outlives the test, whatever happens to the threads
  g.open = false;
  g.finished = 0;
  platform::Thread a = platform::start_thread(wait_for_gate, &g);
  platform::Thread b = platform::start_thread(wait_for_gate, &g);
  platform::Thread c(std::move(a));
  EXPECT_FALSE(a.valid());  // NOLINT(bugprone-use-after-move)
  c = std::move(b);         // detaches the first thread; a join would hang here
  EXPECT_FALSE(b.valid());  // NOLINT(bugprone-use-after-move)
  EXPECT_FALSE(c.wait(10));
  { platform::Thread gone = std::move(c); }  // likewise must not wait
  g.open = true;
  EXPECT_TRUE(eventually(g.finished, 2));
}

TEST(DetachedThread, TooSmallStackIsRaisedToTheMinimum) {
  static Gate g;
  g.finished = 0;
  g.open = true;
  ASSERT_TRUE(platform::start_detached_thread(wait_for_gate, &g, 1));
  EXPECT_TRUE(eventually(g.finished, 1));
}

}  // namespace
