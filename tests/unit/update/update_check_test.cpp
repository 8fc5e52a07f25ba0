// The manifest scan: what each kind of manifest yields and leaves stored.
#include "update/update_check.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr const char* kBase = "https://updates.test";
using Store = ManifestFindings::Store;

struct Case {
  const char* what;
  std::string manifest;
  bool result;
  Store store;
  std::int32_t number;
  std::string name;
  std::u16string url;
  std::string signature = "";
};

std::string windows_entry(const std::string& members) { return "{\"windows\":{" + members + "}}"; }

TEST(ManifestScan, EveryKindOfManifest) {
  const std::string good_url = "\"url\":\"https://updates.test/descargas/vesklar-12.zip\"";
  const std::string long_name(40, 'n');
  const Case cases[] = {
      {"newer version, name and archive", windows_entry("\"version\":12,\"versionName\":\"1.2.0\"," + good_url),
       true, Store::everything, 12, "1.2.0", u"https://updates.test/descargas/vesklar-12.zip"},
      {"members in another order", windows_entry(good_url + ",\"versionName\":\"1.2.0\",\"version\":12"), true,
       Store::everything, 12, "1.2.0", u"https://updates.test/descargas/vesklar-12.zip"},
      {"version as a string", windows_entry("\"version\":\"12\",\"versionName\":\"1.2.0\"," + good_url), true,
       Store::everything, 12, "1.2.0", u"https://updates.test/descargas/vesklar-12.zip"},
      {"negative version", windows_entry("\"version\":-7," + good_url), true, Store::everything, 7, "",
       u"https://updates.test/descargas/vesklar-12.zip"},
      {"version without digits takes the name's", windows_entry("\"version\":null,\"versionName\":\"3.1\"," + good_url),
       true, Store::everything, 3, "3.1", u"https://updates.test/descargas/vesklar-12.zip"},
      {"no digits at all", windows_entry("\"version\":null"), false, Store::number_and_name, 0, "", u""},
      {"no versionName", windows_entry("\"version\":12," + good_url), true, Store::everything, 12, "",
       u"https://updates.test/descargas/vesklar-12.zip"},
      {"name cut at 30 bytes", windows_entry("\"version\":12,\"versionName\":\"" + long_name + "\"," + good_url),
       true, Store::everything, 12, std::string(30, 'n'), u"https://updates.test/descargas/vesklar-12.zip"},
      {"no escapes in the name", windows_entry("\"version\":1,\"versionName\":\"a\\\\b\\\"c\"," + good_url), true,
       Store::everything, 1, "a\\\\b\\", u"https://updates.test/descargas/vesklar-12.zip"},
      {"http instead of https", windows_entry("\"version\":12,\"url\":\"http://updates.test/descargas/a.zip\""),
       false, Store::number_and_name, 12, "", u""},
      {"another host", windows_entry("\"version\":12,\"url\":\"https://elsewhere.test/descargas/a.zip\""), false,
       Store::number_and_name, 12, "", u""},
      {"another folder", windows_entry("\"version\":12,\"url\":\"https://updates.test/otros/a.zip\""), false,
       Store::number_and_name, 12, "", u""},
      {"upper-case extension", windows_entry("\"version\":12,\"url\":\"https://updates.test/descargas/a.ZIP\""),
       false, Store::everything, 12, "", u"https://updates.test/descargas/a.ZIP"},
      {".zip followed by more", windows_entry("\"version\":12,\"url\":\"https://updates.test/descargas/a.zip?x=1\""),
       true, Store::everything, 12, "", u"https://updates.test/descargas/a.zip?x=1"},
      {"url only before windows",
       "{\"url\":\"https://updates.test/descargas/a.zip\"," + windows_entry("\"version\":12").substr(1), false,
       Store::number_and_name, 12, "", u""},
      {"version only before windows", "{\"version\":12,\"windows\":{" + good_url + "}}", false, Store::nothing, 0,
       "", u""},
      {"no windows key", "{\"linux\":{\"version\":12," + good_url + "}}", false, Store::nothing, 0, "", u""},
      {"member missing from the object, found later",
       "{\"windows\":{\"version\":12},\"mac\":{" + good_url + "}}", true, Store::everything, 12, "",
       u"https://updates.test/descargas/vesklar-12.zip"},
      {"url without a closing quote runs to the end", windows_entry("\"version\":2,\"url\":\"https://updates.test/descargas/a.zip"),
       true, Store::everything, 2, "", u"https://updates.test/descargas/a.zip}}"},
      {"empty text", "", false, Store::nothing, 0, "", u""},
      {"signature beside the URL", windows_entry("\"version\":12,\"signature\":\"MEUC+/a=\"," + good_url), true,
       Store::everything, 12, "", u"https://updates.test/descargas/vesklar-12.zip", "MEUC+/a="},
      {"signature cut at 96 bytes", windows_entry(good_url + ",\"version\":1,\"signature\":\"" + std::string(120, 'A') + "\""),
       true, Store::everything, 1, "", u"https://updates.test/descargas/vesklar-12.zip", std::string(96, 'A')},
      {"signature only before windows", "{\"signature\":\"MEUC\"," + windows_entry("\"version\":12," + good_url).substr(1),
       true, Store::everything, 12, "", u"https://updates.test/descargas/vesklar-12.zip", ""},
  };
  for (const Case& c : cases) {
    ManifestFindings f;
    EXPECT_EQ(scan_manifest(c.manifest.c_str(), kBase, &f), c.result) << c.what;
    EXPECT_EQ(f.store, c.store) << c.what;
    if (c.store == Store::nothing) continue;
    EXPECT_EQ(f.number, c.number) << c.what;
    EXPECT_EQ(f.name, c.name) << c.what;
    if (c.store == Store::everything) {
      EXPECT_EQ(f.url, c.url) << c.what;
      EXPECT_EQ(f.signature, c.signature) << c.what;
    } else {
      EXPECT_EQ(f.signature, "") << c.what;
    }
  }
}

TEST(ManifestScan, UrlIsCutAt500Units) {
  const std::string path = "https://updates.test/descargas/" + std::string(600, 'a') + ".zip";
  ManifestFindings f;
  // ".zip" lies beyond the 500 units kept, so the archive is not recognised.
  EXPECT_FALSE(scan_manifest(windows_entry("\"version\":3,\"url\":\"" + path + "\"").c_str(), kBase, &f));
  ASSERT_EQ(f.url.size(), 500u);
  EXPECT_EQ(f.url, std::u16string(path.begin(), path.begin() + 500));
}

TEST(ManifestScan, HugeVersionSaturatesInsteadOfWrapping) {
  ManifestFindings f;
  scan_manifest(windows_entry("\"version\":99999999999999999999").c_str(), kBase, &f);
  EXPECT_EQ(f.number, INT32_MAX);
}

TEST(UpdateBaseUrl, NamesTheConfiguredHost) {
  const std::string base = update_base_url();
  EXPECT_EQ(base.rfind("https://", 0), 0u);
  EXPECT_EQ(base.find('/', 8), std::string::npos) << "host (and port) only: " << base;
}

}  // namespace
