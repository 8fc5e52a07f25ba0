#include "http/open_pages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "http/router.h"
#include "launcher/launcher_main.h"

namespace {

// One message or poll of a script, as the launcher sees them in order:
// "show" and "hide" are a page's "/__open" and quit beacon (a hide with an
// empty id is a beacon without one), "poll" is the main thread's look at
// `at` ms after the script's start.
struct Step {
  const char* what;
  const char* id;
  std::uint64_t seq;
  std::uint32_t at;
  bool quit;  // for "poll": whether the process ends there
};

struct Script {
  const char* name;
  std::vector<Step> steps;
};

// Runs a script from the tick `start`: beacons arm the deadline the grace
// time ahead, as the router does.
void run(const Script& script, std::uint32_t start) {
  OpenPages pages;
  std::uint32_t deadline = 0;
  for (const Step& s : script.steps) {
    const std::uint32_t now = start + s.at;
    const std::string what = s.what;
    if (what == "show") {
      pages.record(s.id, s.seq, PageSays::shown);
    } else if (what == "hide") {
      deadline = now + kQuitGraceMs;
      pages.record(s.id, s.seq, PageSays::hidden);
    } else {
      EXPECT_EQ(quit_due(now, deadline, pages.any_open()), s.quit)
          << script.name << ", poll at " << s.at << " from " << start;
    }
  }
}

TEST(OpenPages, CountingRules) {
  const Script scripts[] = {
      {"a page that never announces itself ends it as before",
       {{"hide", "", 0, 0, false}, {"poll", "", 0, 1599, false}, {"poll", "", 0, 1600, true}}},
      {"reload: the new page's GET and announcement around the old page's beacon",
       {{"show", "a", 1, 0, false},
        {"hide", "a", 2, 1000, false},
        {"show", "b", 1, 1058, false},
        {"poll", "", 0, 3000, false},
        {"hide", "b", 2, 9000, false},
        {"poll", "", 0, 10599, false},
        {"poll", "", 0, 10600, true}}},
      {"reload whose announcement comes late, within the grace time",
       {{"show", "a", 1, 0, false}, {"hide", "a", 2, 1000, false}, {"show", "b", 1, 2500, false},
        {"poll", "", 0, 2600, false}}},
      {"two windows: the second keeps it, then ends it",
       {{"show", "a", 1, 0, false},
        {"show", "b", 1, 10, false},
        {"hide", "a", 2, 1000, false},
        {"poll", "", 0, 12000, false},
        {"hide", "b", 2, 12000, false},
        {"poll", "", 0, 13600, true}}},
      {"duplicates of both messages",
       {{"show", "a", 1, 0, false},
        {"show", "a", 1, 1, false},
        {"hide", "a", 2, 100, false},
        {"hide", "a", 2, 101, false},
        {"poll", "", 0, 1701, true}}},
      {"the beacon overtakes the announcement",
       {{"hide", "a", 2, 0, false}, {"show", "a", 1, 5, false}, {"poll", "", 0, 1600, true}}},
      {"an announcement that never arrives",
       {{"hide", "a", 2, 0, false}, {"poll", "", 0, 1600, true}}},
      {"a beacon that never arrives (a crash) keeps it, beacons of other pages too",
       {{"show", "a", 1, 0, false},
        {"poll", "", 0, 100000, false},
        {"show", "b", 1, 100000, false},
        {"hide", "b", 2, 100001, false},
        {"hide", "", 0, 100002, false},
        {"poll", "", 0, 200000, false}}},
      {"back-forward cache: the same page hidden and shown again",
       {{"show", "a", 1, 0, false},
        {"hide", "a", 2, 1000, false},
        {"show", "b", 1, 1010, false},
        {"hide", "b", 2, 2000, false},
        {"show", "a", 3, 2010, false},
        {"poll", "", 0, 5000, false},
        {"hide", "a", 4, 6000, false},
        {"poll", "", 0, 7600, true}}},
      {"back-forward cache: the old beacon arrives after the return",
       {{"show", "a", 1, 0, false}, {"show", "a", 3, 10, false}, {"hide", "a", 2, 20, false},
        {"poll", "", 0, 5000, false}}},
      {"a beacon without an id while an announced page is open",
       {{"show", "a", 1, 0, false}, {"hide", "", 0, 10, false}, {"poll", "", 0, 5000, false}}},
      {"invalid ids are not counted",
       {{"show", "a/b", 1, 0, false}, {"show", "", 1, 0, false}, {"hide", "x", 1, 10, false},
        {"poll", "", 0, 1610, true}}},
  };
  // From an ordinary tick, and from ticks whose grace times cross the wrap
  // of the 32-bit counter.
  for (std::uint32_t start : {1000u, 0xFFFFFFFFu - 1200u, 0xFFFFFFFFu - 9500u, 0xFFFFFFFFu})
    for (const Script& script : scripts) run(script, start);
}

TEST(OpenPages, AFullTableMakesRoomFromClosedPagesAndNeverForgetsAnOpenOne) {
  OpenPages pages;
  for (std::size_t i = 0; i < kOpenPagesCapacity; ++i) {
    pages.record("p" + std::to_string(i), 1, PageSays::shown);
    pages.record("p" + std::to_string(i), 2, PageSays::hidden);
  }
  EXPECT_FALSE(pages.any_open());
  // Closed pages make room for new ones, oldest first.
  pages.record("new", 1, PageSays::shown);
  EXPECT_TRUE(pages.any_open());
  pages.record("new", 2, PageSays::hidden);
  EXPECT_FALSE(pages.any_open());

  for (std::size_t i = 0; i < kOpenPagesCapacity; ++i) pages.record("q" + std::to_string(i), 1, PageSays::shown);
  // No room for one more open page: it is reported open from now on,
  // even once every page that was recorded has closed.
  pages.record("extra", 1, PageSays::shown);
  for (std::size_t i = 0; i < kOpenPagesCapacity; ++i) pages.record("q" + std::to_string(i), 2, PageSays::hidden);
  EXPECT_TRUE(pages.any_open());
  pages.clear();
  EXPECT_FALSE(pages.any_open());
}

TEST(OpenPages, ValidIds) {
  EXPECT_TRUE(valid_page_id("k3x9a0lmq1bz8"));
  EXPECT_TRUE(valid_page_id("A.b.9"));
  EXPECT_TRUE(valid_page_id(std::string(kPageIdBytes - 1, 'a')));
  EXPECT_FALSE(valid_page_id(std::string(kPageIdBytes, 'a')));
  EXPECT_FALSE(valid_page_id(""));
  EXPECT_FALSE(valid_page_id("a b"));
  EXPECT_FALSE(valid_page_id("a&seq=1"));
  EXPECT_FALSE(valid_page_id("\xC3\xA9"));
}

}  // namespace
