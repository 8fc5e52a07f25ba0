// The name lookup made before libcurl is loaded, and the entry that hands
// its addresses to libcurl.
#include "platform/posix/name_lookup.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using platform::posix::LookupOutcome;

TEST(NameLookup, ResolveEntryListsEveryAddressWithIpv6InBrackets) {
  struct Case {
    std::vector<std::string> addresses;
    const char* expected;
  };
  const Case cases[] = {
      {{"127.0.0.1"}, "updates.example:443:127.0.0.1"},
      {{"::1", "127.0.0.1"}, "updates.example:443:[::1],127.0.0.1"},
      {{"2001:db8::5", "192.0.2.7", "fe80::1"}, "updates.example:443:[2001:db8::5],192.0.2.7,[fe80::1]"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(platform::posix::resolve_entry("updates.example", 443, c.addresses), c.expected);
}

TEST(NameLookup, FindsNumericAndLocalNamesAndNotReservedOnes) {
  const auto numeric = platform::posix::look_up_host("127.0.0.1", 2000, 100, {});
  ASSERT_EQ(numeric.outcome, LookupOutcome::found);
  EXPECT_EQ(numeric.addresses, std::vector<std::string>{"127.0.0.1"});

  const auto local = platform::posix::look_up_host("localhost", 2000, 100, {});
  ASSERT_EQ(local.outcome, LookupOutcome::found);
  const auto& a = local.addresses;
  EXPECT_TRUE(std::find(a.begin(), a.end(), "127.0.0.1") != a.end() || std::find(a.begin(), a.end(), "::1") != a.end());

  // Without a network the resolver may not answer in time: not found or
  // given up, but never found.
  const auto reserved = platform::posix::look_up_host("nothing.invalid", 2000, 100, {});
  EXPECT_NE(reserved.outcome, LookupOutcome::found);
  EXPECT_NE(reserved.outcome, LookupOutcome::failed);
}

}  // namespace
