// Only the key: anything else placed here would stop the signed test copy's
// own definition from standing in for this one (see src/CMakeLists.txt).
// update_public_key.inc is written by the build: the PEM as a raw string
// literal, or "" for a build without a key.
#include "update/update_key.h"

std::string_view update_public_key_pem() {
  static constexpr char kPem[] =
#include "update_public_key.inc"
      ;
  return std::string_view(kPem, sizeof kPem - 1);
}
