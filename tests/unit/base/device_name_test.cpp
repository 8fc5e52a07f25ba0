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

}  // namespace
