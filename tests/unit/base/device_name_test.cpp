#include "base/device_name.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(DeviceName, NamesWindowsOpensAsDevices) {
  struct Case {
    std::u16string name;
    bool device;
  };
  const Case cases[] = {
      {u"CON", true},        {u"con", true},          {u"Prn", true},         {u"AUX", true},
      {u"NUL", true},        {u"CONIN$", true},       {u"conout$", true},     {u"COM1", true},
      {u"com9", true},       {u"LPT1", true},         {u"lPt9", true},        {u"COM\u00B9", true},
      {u"LPT\u00B2", true},  {u"COM\u00B3", true},    {u"NUL.txt", true},     {u"nul.tar.gz", true},
      {u"NUL .mp4", true},   {u"CON  ", true},        {u"CONIN$.x", true},    {u"AUX.", true},
      // Not devices: other numbers, longer or shorter names, a prefix.
      {u"COM0", false},      {u"LPT0", false},        {u"COM10", false},      {u"COM\u00B4", false},
      {u"COM", false},       {u"CONSOLE", false},     {u"CONIN", false},      {u"xCON", false},
      {u"_NUL", false},      {u"NUL_", false},        {u" NUL", false},       {u".NUL", false},
      {u"", false},          {u"CON_txt", false},     {u"COM1x", false},      {u"NULL", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(is_device_name(c.name), c.device) << std::string(c.name.begin(), c.name.end());
  }
}

// The UTF-8 form of the rule says the same as the UTF-16 one.
TEST(DeviceName, Utf8FormAgrees) {
  struct Case {
    const char* utf8;
    std::u16string utf16;
  };
  const Case cases[] = {
      {"CON", u"CON"},           {"conout$", u"conout$"},       {"NUL .mp4", u"NUL .mp4"},
      {"COM\xC2\xB9", u"COM\u00B9"}, {"lpt\xC2\xB3.x", u"lpt\u00B3.x"}, {"COM\xC2\xB4", u"COM\u00B4"},
      {"COM\xC2\xB9x", u"COM\u00B9x"}, {"C\xC3\x93N", u"C\u00D3N"},     {"COM\xEF\xBF\xBD", u"COM\uFFFD"},
      {"CONOUT$ ", u"CONOUT$ "}, {"CONOUT$x", u"CONOUT$x"},     {"", u""},
      {"AUX.", u"AUX."},         {"aux\xC2\xA0", u"aux\u00A0"},  {"  ", u"  "},
  };
  for (const Case& c : cases) EXPECT_EQ(is_device_name(std::string_view(c.utf8)), is_device_name(c.utf16)) << c.utf8;
  EXPECT_TRUE(is_device_name(std::string_view("COM\xC2\xB9")));
}

}  // namespace
