// What the update host said last: the latest version's number and name and
// the update URL, which every update check rewrites while connection workers
// may be reading them. A short lock makes each change one unit and each read
// a consistent copy. Nobody holds the lock across a network fetch.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

inline constexpr std::size_t kLatestNameMax = 30;  // bytes
inline constexpr std::size_t kUpdateUrlMax = 500;  // UTF-16 code units
// A DER ECDSA P-256 signature has at most 72 bytes, 96 in base64; a longer
// text is cut here and then fails its check.
inline constexpr std::size_t kUpdateSignatureMax = 96;  // bytes

struct LatestVersion {
  std::int32_t number = 0;
  std::string name;     // at most 30 bytes; any byte but NUL and '"'
  std::u16string url;   // at most 500 units
  std::string signature;  // the archive's, base64; at most 96 bytes, empty when none
};

// What one manifest scan found, and how much of it is to be stored.
struct ManifestFindings {
  enum class Store { nothing, number_and_name, everything };
  Store store = Store::nothing;
  std::int32_t number = 0;
  std::string name;
  std::u16string url;
  std::string signature;  // stored with the URL
};

class LatestVersionStore {
 public:
  // Stores what `findings` says as one unit (the signature always together
// with the URL it belongs to), then copies all three fields as
  // they stand into `seen` (when given) before anyone else can change them.
  // Any thread.
  void publish(const ManifestFindings& findings, LatestVersion* seen);

  // A consistent copy of the three fields. Any thread.
  LatestVersion read() const;

 private:
  mutable std::mutex lock_;
  LatestVersion fields_;  // guarded by `lock_`
};

// The process's store, written by the checks of the start-up offer and of
// the update endpoint. Never destroyed: a worker may still be checking while
// the process ends.
LatestVersionStore& latest_version_store();
