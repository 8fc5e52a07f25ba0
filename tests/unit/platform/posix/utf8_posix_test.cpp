// UTF-8 to UTF-16 and back: which input is ill-formed and how it is
// replaced, and a round trip of every code point. The number of U+FFFD for
// a cut-short sequence differs between converters (Wine's gives one per
// sequence), so the replacement rows hold for this layer only.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "platform/text.h"

namespace {

struct DecodeCase {
  const char* name;
  std::string_view utf8;
  std::u16string_view utf16;
};

using namespace std::string_view_literals;

const DecodeCase kDecode[] = {
    {"ascii", "abc"sv, u"abc"sv},
    {"embedded_nul", "a\0b"sv, u"a\0b"sv},
    {"two_bytes", "\xC3\xA9"sv, u"\u00E9"sv},
    {"three_bytes", "\xE2\x82\xAC"sv, u"\u20AC"sv},
    {"last_before_surrogates", "\xED\x9F\xBF"sv, u"\uD7FF"sv},
    {"four_bytes", "\xF0\x9F\x98\x80"sv, u"\xD83D\xDE00"sv},
    {"highest_code_point", "\xF4\x8F\xBF\xBF"sv, u"\xDBFF\xDFFF"sv},
    {"stray_continuation", "a\x80z"sv, u"a\xFFFDz"sv},
    {"overlong_two", "\xC0\xAF"sv, u"\xFFFD\xFFFD"sv},
    {"overlong_three", "\xE0\x9F\xBF"sv, u"\xFFFD\xFFFD\xFFFD"sv},
    {"overlong_four", "\xF0\x8F\xBF\xBF"sv, u"\xFFFD\xFFFD\xFFFD\xFFFD"sv},
    {"encoded_surrogate", "\xED\xA0\x80"sv, u"\xFFFD\xFFFD\xFFFD"sv},
    {"above_highest", "\xF4\x90\x80\x80"sv, u"\xFFFD\xFFFD\xFFFD\xFFFD"sv},
    {"never_valid_lead", "\xF5\xFF"sv, u"\xFFFD\xFFFD"sv},
    {"cut_short_mid_text", "\xE2\x82" "A"sv, u"\xFFFD\xFFFD" u"A"sv},
    {"cut_short_at_end", "a\xF0\x9F\x98"sv, u"a\xFFFD\xFFFD\xFFFD"sv},
    {"lead_then_lead", "\xC3\xC3\xA9"sv, u"\xFFFD\u00E9"sv},
};

class Utf8Decode : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(Utf8Decode, ReplacesEachIllFormedByte) {
  const auto out = platform::utf8_to_utf16(GetParam().utf8, 64);
  ASSERT_TRUE(out.has_value());
  EXPECT_EQ(*out, GetParam().utf16);
}

INSTANTIATE_TEST_SUITE_P(Platform, Utf8Decode, ::testing::ValuesIn(kDecode),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(Utf16Encode, ReplacesUnpairedSurrogates) {
  struct Row {
    std::u16string_view utf16;
    std::string_view utf8;
  };
  const Row rows[] = {
      {u"a\u00E9\u20AC"sv, "a\xC3\xA9\xE2\x82\xAC"sv},
      {u"\xD83D\xDE00"sv, "\xF0\x9F\x98\x80"sv},
      {u"\xD800"sv, "\xEF\xBF\xBD"sv},
      {u"\xDC00z"sv, "\xEF\xBF\xBDz"sv},
      {u"\xD83D\xD83D\xDE00"sv, "\xEF\xBF\xBD\xF0\x9F\x98\x80"sv},
  };
  for (const Row& r : rows) EXPECT_EQ(platform::utf16_to_utf8(r.utf16), r.utf8);
}

TEST(Utf16Encode, EveryCodePointSurvivesTheRoundTrip) {
  int failures = 0;
  for (char32_t cp = 0; cp <= 0x10FFFF && failures < 5; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    std::u16string u;
    if (cp < 0x10000) {
      u = std::u16string(1, static_cast<char16_t>(cp));
    } else {
      u = {static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)), static_cast<char16_t>(0xDC00 + (cp & 0x3FF))};
    }
    const auto back = platform::utf8_to_utf16(platform::utf16_to_utf8(u), 3);
    if (!back || *back != u) {
      ++failures;
      ADD_FAILURE() << "code point " << static_cast<unsigned long>(cp);
    }
  }
}

}  // namespace
