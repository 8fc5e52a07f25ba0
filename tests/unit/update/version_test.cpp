#include "update/version.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(VersionText, NumberAndNameRules) {
  struct Case {
    std::string text;
    std::int32_t number;
    const char* name;
  };
  const Case cases[] = {
      {"", 0, "0"},
      {"7", 7, "7"},
      {"7\n", 7, "7"},
      {"7\r\n1.2.3\r\n", 7, "1.2.3"},
      {"7\n\r1.2.3", 7, "1.2.3"},
      {"7\n\r\r1.2.3", 7, "7"},  // only one CR is skipped
      {"7\r\n1.2.3-rc1", 7, "1.2.3"},
      {"7\r\nBeta", 7, "7"},
      {"7\r\nbeta2 x", 7, "beta2"},
      {"12\n1.2.0", 12, "1.2.0"},
      {"7\n" + std::string(40, 'a'), 7, "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"},
      {"\xEF\xBB\xBF" "5\n2.0", 0, "2.0"},
      {"   42abc\nv", 42, "v"},
      {"-3\n", -3, "-3"},
      {"-3\nX", -3, "-3"},
      {"99999999999\n", INT32_MAX, "2147483647"},
      {"x\n", 0, "0"},
  };
  for (const auto& c : cases) {
    std::int32_t number = -99;
    char name[40];
    std::memset(name, 'z', sizeof name);
    parse_version_text(c.text.c_str(), &number, name);
    EXPECT_EQ(number, c.number) << c.text;
    EXPECT_STREQ(name, c.name) << c.text;
  }
}

TEST(BootstrapScript, ExactTextAndFixedLength) {
  char script[640];
  format_bootstrap_script(0, "", script, sizeof script);
  // The fixed part of the script is 373 bytes plus "0".
  EXPECT_EQ(std::strlen(script), 374u);
  format_bootstrap_script(12, "1.2.0", script, sizeof script);
  EXPECT_STREQ(script,
               "<script>window.VesklarWindows={saveUrl:'/__save',version:12,versionName:'1.2.0'};"
               "(function(){var p=Math.random().toString(36).slice(2)+Date.now().toString(36),n=0;"
               "function t(u){try{navigator.sendBeacon(u+'?page='+p+'&seq='+(++n));}catch(e){}}"
               "window.addEventListener('pageshow',function(){t('/__open');});"
               "window.addEventListener('pagehide',function(){t('/__quit');});})();</script>");
  format_bootstrap_script(INT32_MIN, "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", script, sizeof script);
  EXPECT_EQ(std::strlen(script), 414u);
}

}  // namespace
