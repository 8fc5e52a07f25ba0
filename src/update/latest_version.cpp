#include "update/latest_version.h"

#include <algorithm>

void LatestVersionStore::publish(const ManifestFindings& findings, LatestVersion* seen) {
  // The strings are built outside the lock; inside, only copies happen. The
  // name ends at its first NUL, if any, as it always has.
  std::string name = findings.name.substr(0, std::min(findings.name.find('\0'), kLatestNameMax));
  std::u16string url = findings.url.substr(0, kUpdateUrlMax);
  std::string signature = findings.signature.substr(0, kUpdateSignatureMax);
  std::lock_guard<std::mutex> hold(lock_);
  if (findings.store != ManifestFindings::Store::nothing) {
    fields_.number = findings.number;
    fields_.name.swap(name);
  }
  if (findings.store == ManifestFindings::Store::everything) {
    fields_.url.swap(url);
    fields_.signature.swap(signature);
  }
  if (seen) *seen = fields_;
}

LatestVersion LatestVersionStore::read() const {
  std::lock_guard<std::mutex> hold(lock_);
  return fields_;
}

LatestVersionStore& latest_version_store() {
  static LatestVersionStore* const store = new LatestVersionStore;
  return *store;
}
