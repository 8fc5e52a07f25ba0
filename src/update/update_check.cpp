#include "update/update_check.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "base/bounded_format.h"
#include "update/update_fetch.h"
#include "update/update_host.h"
#include "update/update_key.h"

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The string value of the first `key` at or after `from`, read as the
// version name is: from the first quote after the key to the next quote,
// the end of the text or `limit` bytes, no escapes. Empty when the key or
// its opening quote is missing.
std::string quoted_value(const char* from, const char* key, std::size_t limit) {
  std::string value;
  if (const char* at = std::strstr(from, key)) {
    if (const char* open = std::strchr(at + std::strlen(key), '"')) {
      for (const char* q = open + 1; *q != '\0' && *q != '"' && value.size() < limit; ++q) value.push_back(*q);
    }
  }
  return value;
}

// The number at `p` as atoi reads a run of digits, held to the int32 range
// instead of atoi's undefined overflow.
std::int32_t read_digits(const char* p) {
  const std::int64_t v = base::parse_decimal_saturating(p);
  return v > INT32_MAX ? INT32_MAX : std::int32_t(v);
}

}  // namespace

std::string update_base_url() {
  std::string url = "https://";
  url += update_host_name();
  if (update_host_port() != 443) url += ":" + std::to_string(update_host_port());
  return url;
}

bool scan_manifest(const char* text, std::string_view base_url, ManifestFindings* out) {
  *out = ManifestFindings();
  // Keys are searched with their quotes, so "version" never matches the
  // start of "versionName"; every member is looked for after "windows",
  // in any order.
  const char* windows = std::strstr(text, "\"windows\"");
  if (!windows) return false;
  const char* version = std::strstr(windows, "\"version\"");
  if (!version) return false;

  // Whatever stands between the key and the first digit (colon, blanks, a
  // quote, a minus sign) is skipped, so the number is never negative.
  const char* p = version + std::strlen("\"version\"");
  while (*p != '\0' && !is_digit(*p)) ++p;
  out->number = read_digits(p);
  out->store = ManifestFindings::Store::number_and_name;

  // No escapes are read: a backslash is copied, any quote ends the name.
  out->name = quoted_value(windows, "\"versionName\"", kLatestNameMax);

  const char* url_key = std::strstr(windows, "\"url\"");
  if (!url_key) return false;
  const std::string prefix = std::string(base_url) + "/descargas/";
  const char* url = std::strstr(url_key, prefix.c_str());
  if (!url) return false;
  for (const char* q = url; *q != '\0' && *q != '"' && out->url.size() < kUpdateUrlMax; ++q)
    out->url.push_back(char16_t(static_cast<unsigned char>(*q)));
  // The archive's signature; programs built without a key never look at
  // it, and older ones do not know the member at all.
  out->signature = quoted_value(windows, "\"signature\"", kUpdateSignatureMax);
  out->store = ManifestFindings::Store::everything;
  return out->url.find(u".zip") != std::u16string::npos;
}

bool check_for_update(LatestVersionStore& store, LatestVersion* seen, bool* manifest_read) {
  char text[kManifestBytes + 1] = {};
  std::size_t length = 0;
  ManifestFindings findings;
  bool found = false;
  const bool fetched = fetch_update_host(u"/descargas/version.json", nullptr, text, sizeof text, &length);
  if (fetched) found = scan_manifest(text, update_base_url(), &findings);
  if (manifest_read) *manifest_read = fetched;
  // With a key built in, an archive without a signature is no update: it
  // could never be installed.
  if (found && !update_public_key_pem().empty() && findings.signature.empty()) found = false;
  // A failed fetch stores nothing, but the caller still gets the fields as
  // they stand.
  store.publish(findings, seen);
  return found;
}

std::string update_check_result(bool check_ok, const LatestVersion& latest, std::int32_t current) {
  if (!check_ok) return "result=failed";
  return std::string(latest.number > current ? "result=available" : "result=none") +
         " latest=" + std::to_string(latest.number);
}
