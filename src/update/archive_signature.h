// The signature of an update archive, as the manifest's "signature" member
// carries it: base64 (standard alphabet, with padding) of the DER-encoded
// ECDSA P-256 / SHA-256 signature of the archive's bytes, as
// `openssl dgst -sha256 -sign key.pem archive.zip | base64 -w0` prints it.
#pragma once

#include <string>
#include <string_view>

#include "platform/crypto.h"

// Decodes `signature_base64` and checks it over the file at `archive`
// against `public_key_pem`. Text that is not strict base64 (a character
// outside the alphabet, a length that is not a multiple of 4, misplaced
// padding, nothing at all) is `bad_signature`; the rest is
// platform::verify_file_signature's answer. Only `valid` may be trusted.
platform::SignatureCheck check_archive_signature(const std::u16string& archive, std::string_view public_key_pem,
                                                 std::string_view signature_base64);

// The answer as the log writes it: "valid", "mismatch", "bad_key", ...
std::string_view signature_check_name(platform::SignatureCheck check);
