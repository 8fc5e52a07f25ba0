// The request's UTF-8 made well-formed without a UTF-16 text on the way must
// be exactly what the UTF-16 route makes of it, limit included.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "platform/text.h"

namespace {

using namespace std::string_view_literals;

TEST(WellFormedUtf8, IsTheUtf16RouteWithItsLimitAndUnitCount) {
  const std::string_view inputs[] = {
      ""sv,          "abc"sv,           "a\0b"sv,         "caf\xC3\xA9"sv,      "\xE2\x82\xAC"sv,
      "\xF0\x9F\x98\x80"sv, "\xF4\x8F\xBF\xBF"sv, "a\x80z"sv,   "\xC0\xAF"sv,         "\xC1\xBF"sv,
      "\xE0\x80\xAF"sv, "\xED\xA0\x80"sv, "\xED\x9F\xBF"sv, "\xF4\x90\x80\x80"sv, "\xF5\x80"sv,
      "\xFF\xFE"sv,  "a\xE2\x82"sv,     "\xE2\x82z"sv,    "\xF0\x9F\x98"sv,     "\xC3"sv,
  };
  for (const std::string_view in : inputs) {
    for (const std::size_t max_units : {std::size_t{0}, std::size_t{1}, std::size_t{2}, std::size_t{3},
                                        std::size_t{4}, std::size_t{260}}) {
      const auto wide = platform::utf8_to_utf16(in, max_units);
      std::size_t units = 12345;
      const auto direct = platform::well_formed_utf8(in, max_units, &units);
      ASSERT_EQ(direct.has_value(), wide.has_value()) << testing::PrintToString(in) << " max " << max_units;
      if (!wide) continue;
      EXPECT_EQ(*direct, platform::utf16_to_utf8(*wide)) << testing::PrintToString(in);
      EXPECT_EQ(units, wide->size()) << testing::PrintToString(in);
    }
  }
}

}  // namespace
