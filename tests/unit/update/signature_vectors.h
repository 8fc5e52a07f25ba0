// Fixed test vectors for the archive signature, made with the TEST-ONLY key
// pair in tests/keys (never a key that signs anything real):
//   archive: 100,000 bytes, byte i = (i * 31 + 7) mod 256
//   other:   5,000 bytes,   byte i = (i * 17 + 3) mod 256
//   openssl dgst -sha256 -sign tests/keys/test-only-update-key.pem FILE | base64 -w0
#pragma once

#include <cstddef>
#include <string>

namespace signature_vectors {

inline std::string archive_bytes() {
  std::string out(100000, '\0');
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = char((i * 31 + 7) % 256);
  return out;
}

// tests/keys/test-only-update-key.pub.pem
inline constexpr const char* kTestKey =
    "-----BEGIN PUBLIC KEY-----\n"
    "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAEYhEqqzyn23XSsqjalPmoYoJh0hVh\n"
    "wKMgOUc01sW0EUnL99PAJbiyAzKGbYFR6oci08p3PktvyUallnTMkNbqJg==\n"
    "-----END PUBLIC KEY-----\n";
// Another P-256 key, whose private half was thrown away.
inline constexpr const char* kOtherKey =
    "-----BEGIN PUBLIC KEY-----\n"
    "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAEVZO3JOmjq/QLiDG5/bJzCfu2EDF1\n"
    "vpiAR8WSVK15lLnU5HQzebBSwwUK0KifLnmVlxsi5Ub+Ogq5bEejcp9+DQ==\n"
    "-----END PUBLIC KEY-----\n";
// A key on another curve (P-384).
inline constexpr const char* kP384Key =
    "-----BEGIN PUBLIC KEY-----\n"
    "MHYwEAYHKoZIzj0CAQYFK4EEACIDYgAEy+XDGVQX/cMjBDSlS4Js1VfeJ432CE5A\n"
    "QQohQl33iVHNTQEjvWZxzWpNNRoogfmTpZ723Qhbr9UKUONKyr7DWLICVtAJUWSV\n"
    "PG6eGDyNQk8SSR1jJ/NRUm69jD4jNgbe\n"
    "-----END PUBLIC KEY-----\n";

// The archive's signature (71 bytes of DER).
inline constexpr const char* kArchiveSignature =
    "MEUCIHxy/ZYM3vpzIvIVt71nUSQiQLs2PZP/v5GIBrOUdP/QAiEAts/Fvba4cSh8Sq9nlGtq6paooT8/fbCoewwQCfZLnHk=";
// The same with the lowest bit of its last byte (inside s) flipped.
inline constexpr const char* kArchiveSignatureFlipped =
    "MEUCIHxy/ZYM3vpzIvIVt71nUSQiQLs2PZP/v5GIBrOUdP/QAiEAts/Fvba4cSh8Sq9nlGtq6paooT8/fbCoewwQCfZLnHg=";
// Its first 40 bytes: DER that ends inside s.
inline constexpr const char* kArchiveSignatureTruncated = "MEUCIHxy/ZYM3vpzIvIVt71nUSQiQLs2PZP/v5GIBrOUdP/QAiEAtg==";
// The other file's signature.
inline constexpr const char* kOtherFileSignature =
    "MEUCIC+Wex5JKR3NGHKbwLv95F2X4qrM1q16W9SkF6uxXkYRAiEAv7lZoeopLXG0NXIHazwQ+7q5Hs2f4i9lb8w1e94jT2Y=";

}  // namespace signature_vectors
