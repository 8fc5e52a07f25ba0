#include "launcher/launcher_main.h"

#include <gtest/gtest.h>

namespace {

TEST(QuitDeadline, ReachedAtOrAfterTheDeadlineAcrossTheWrap) {
  struct Case {
    std::uint32_t now, deadline;
    bool reached;
  };
  const Case cases[] = {
      {1000, 2600, false},
      {2599, 2600, false},
      {2600, 2600, true},
      {2800, 2600, true},
      // Armed 1600 ms before the wrap: the deadline lies just past zero.
      {0xFFFFFF00u, 0xFFFFFF00u + 1600u, false},
      {0xFFFFFFFFu, 1343u, false},
      {1342u, 1343u, false},
      {1343u, 1343u, true},
      {1543u, 1343u, true},
      // A deadline just before the wrap, polled just after it.
      {5u, 0xFFFFFFF0u, true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(deadline_reached(c.now, c.deadline), c.reached) << c.now << " vs " << c.deadline;
}

}  // namespace
