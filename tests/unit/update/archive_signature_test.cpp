// The archive signature against fixed vectors, through the platform's own
// crypto (OpenSSL here, CNG under Windows): only the key's signature over
// exactly these bytes passes.
#include "update/archive_signature.h"

#include <gtest/gtest.h>

#include <string>

#include "support/temp_dir.h"
#include "update/signature_vectors.h"

namespace {

using platform::SignatureCheck;
namespace v = signature_vectors;

enum class Archive { as_signed, one_bit_flipped, missing, held_for_writing };

struct Case {
  const char* what;
  Archive archive;
  const char* key;
  std::string signature;
  SignatureCheck expected;
};

TEST(ArchiveSignature, OnlyTheKeysSignatureOverTheseBytesPasses) {
  const std::string good = v::kArchiveSignature;
  const Case cases[] = {
      {"good signature", Archive::as_signed, v::kTestKey, good, SignatureCheck::valid},
      {"one bit flipped in the archive", Archive::one_bit_flipped, v::kTestKey, good, SignatureCheck::mismatch},
      {"one bit flipped in the signature", Archive::as_signed, v::kTestKey, v::kArchiveSignatureFlipped,
       SignatureCheck::mismatch},
      {"another key", Archive::as_signed, v::kOtherKey, good, SignatureCheck::mismatch},
      {"signature of another file", Archive::as_signed, v::kTestKey, v::kOtherFileSignature,
       SignatureCheck::mismatch},
      {"empty signature", Archive::as_signed, v::kTestKey, "", SignatureCheck::bad_signature},
      {"not base64", Archive::as_signed, v::kTestKey, "MEUC!Hxy", SignatureCheck::bad_signature},
      {"padding left off", Archive::as_signed, v::kTestKey, good.substr(0, good.size() - 1),
       SignatureCheck::bad_signature},
      {"line break inside", Archive::as_signed, v::kTestKey, good.substr(0, 48) + "\n" + good.substr(48),
       SignatureCheck::bad_signature},
      {"DER cut short", Archive::as_signed, v::kTestKey, v::kArchiveSignatureTruncated,
       SignatureCheck::bad_signature},
      {"raw bytes, not DER", Archive::as_signed, v::kTestKey, std::string(86, 'A') + "==",
       SignatureCheck::bad_signature},
      {"key on another curve", Archive::as_signed, v::kP384Key, good, SignatureCheck::bad_key},
      {"no key", Archive::as_signed, "", good, SignatureCheck::bad_key},
      {"archive missing", Archive::missing, v::kTestKey, good, SignatureCheck::unreadable},
      {"archive still open for writing", Archive::held_for_writing, v::kTestKey, good, SignatureCheck::unreadable},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const std::u16string path = dir / u"vesklar-update.zip";
    std::string bytes = v::archive_bytes();
    if (c.archive == Archive::one_bit_flipped) bytes[77777] = char(bytes[77777] ^ 0x10);
    if (c.archive != Archive::missing) TempDir::write(path, bytes);
    platform::File writer;
    if (c.archive == Archive::held_for_writing) writer = platform::create_always(path);
    EXPECT_EQ(check_archive_signature(path, c.key, c.signature), c.expected) << c.what;
  }
}

}  // namespace
