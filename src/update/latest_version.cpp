#include "update/latest_version.h"

#include <cstring>
#include <mutex>

#include "launcher/app_state.h"

namespace {

std::mutex g_latest_lock;

static_assert(AppState::kLatestNameBytes == kLatestNameMax + 1);

LatestVersion copy_fields() {
  LatestVersion out;
  out.number = g_app.latest_version_number;
  out.name = g_app.latest_version_name;
  out.url = g_app.update_url;
  return out;
}

}  // namespace

void publish_latest(const ManifestFindings& findings, LatestVersion* seen) {
  // The strings are built outside the lock; inside, only copies happen.
  const std::size_t name_bytes = findings.name.size() < kLatestNameMax ? findings.name.size() : kLatestNameMax;
  std::u16string url = findings.url.substr(0, kUpdateUrlMax);
  std::lock_guard<std::mutex> hold(g_latest_lock);
  if (findings.store != ManifestFindings::Store::nothing) {
    g_app.latest_version_number = findings.number;
    std::memcpy(g_app.latest_version_name, findings.name.data(), name_bytes);
    g_app.latest_version_name[name_bytes] = '\0';
  }
  if (findings.store == ManifestFindings::Store::everything) g_app.update_url.swap(url);
  if (seen) *seen = copy_fields();
}

LatestVersion read_latest() {
  std::lock_guard<std::mutex> hold(g_latest_lock);
  return copy_fields();
}
