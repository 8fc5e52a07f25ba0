#include "update/version.h"

#include <cstdio>
#include <cstring>

#include "base/bounded_format.h"
#include "platform/files.h"
#include "platform/text.h"

namespace {

bool is_name_byte(char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.'; }

bool is_c_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// atoi's reading: white space, sign, digits. Saturates instead of the
// undefined behaviour atoi has on overflow.
std::int32_t read_leading_int(const char* p) {
  while (is_c_space(*p)) ++p;
  const std::int64_t v = base::parse_decimal_saturating(p);
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return std::int32_t(v);
}

// Besides the page variable, the script tells the launcher when its page is
// shown ("/__open") and hidden (the quit beacon), under an id of its own and
// with a running number, so that the launcher can count open pages however
// the messages arrive (see http/open_pages.h). "pageshow" also comes when
// the page returns from the back-forward cache, with the same id.
constexpr char kBootstrapTemplate[] =
    "<script>window.VesklarWindows={saveUrl:'/__save',version:%d,versionName:'%s'};"
    "(function(){var p=Math.random().toString(36).slice(2)+Date.now().toString(36),n=0;"
    "function t(u){try{navigator.sendBeacon(u+'?page='+p+'&seq='+(++n));}catch(e){}}"
    "window.addEventListener('pageshow',function(){t('/__open');});"
    "window.addEventListener('pagehide',function(){t('/__quit');});})();</script>";
// The two placeholders give way to at most 11 digits and the name.
constexpr std::size_t kIntDigitsMax = 11;
constexpr std::size_t kLongestScript = sizeof kBootstrapTemplate - 1 - 4 + kIntDigitsMax + kVersionNameMax;

}  // namespace

const std::size_t kBootstrapScriptMaxChars = kLongestScript;

void parse_version_text(const char* text, std::int32_t* number, char* name) {
  *number = read_leading_int(text);
  name[0] = '\0';
  if (const char* lf = std::strchr(text, '\n')) {
    const char* p = lf + 1;
    if (*p == '\r') ++p;  // only the one CR right after the LF
    std::size_t n = 0;
    while (n < kVersionNameMax && is_name_byte(p[n])) {
      name[n] = p[n];
      ++n;
    }
    name[n] = '\0';
  }
  if (name[0] == '\0') std::snprintf(name, kVersionNameMax + 1, "%d", int(*number));
}

void format_bootstrap_script(std::int32_t number, const char* name, char* out, std::size_t capacity) {
  std::snprintf(out, capacity, kBootstrapTemplate, int(number), name);
}

VersionIdentity load_current_version(const std::u16string& exe_folder) {
  VersionIdentity version;
  std::u16string path;
  if (!base::join_bounded(path, platform::kMaxPathChars, {exe_folder, u"\\version.txt"})) return version;
  platform::File file = platform::open_for_read(path);
  if (!file) return version;  // number 0, empty name: no decimal fallback here
  char text[kVersionFileBytes + 1];
  std::uint32_t got = 0;
  if (!file.read(text, kVersionFileBytes, &got)) got = 0;
  file.close();
  text[got] = '\0';
  char name[kVersionNameMax + 1];
  parse_version_text(text, &version.number, name);
  version.name = name;
  return version;
}

std::string build_bootstrap_script(const VersionIdentity& version) {
  char script[kLongestScript + 1];
  format_bootstrap_script(version.number, version.name.c_str(), script, sizeof script);
  return script;
}
