// The manifest scan over arbitrary text: what it keeps stays within the
// stored fields' limits, and a URL is only ever taken from the update host.
#include <string_view>

#include "fuzz_input.h"
#include "update/latest_version.h"
#include "update/update_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text = fuzz_text(data, size, kManifestBytes);
  constexpr std::string_view kBase = "https://localhost:17866";
  ManifestFindings found;
  const bool archive = scan_manifest(text.c_str(), kBase, &found);
  FUZZ_CHECK(found.number >= 0);
  FUZZ_CHECK(found.name.size() <= kLatestNameMax);
  FUZZ_CHECK(found.name.find('"') == std::string::npos);
  FUZZ_CHECK(found.url.size() <= kUpdateUrlMax);
  FUZZ_CHECK(found.signature.size() <= kUpdateSignatureMax);
  FUZZ_CHECK(found.signature.find('"') == std::string::npos);
  if (found.store == ManifestFindings::Store::everything) {
    const std::u16string prefix = u"https://localhost:17866/descargas/";
    FUZZ_CHECK(found.url.compare(0, prefix.size(), prefix) == 0);
    FUZZ_CHECK(found.url.find(u'"') == std::u16string::npos);
  } else {
    FUZZ_CHECK(found.url.empty());
    FUZZ_CHECK(found.signature.empty());
  }
  if (archive) FUZZ_CHECK(found.store == ManifestFindings::Store::everything);
  return 0;
}
