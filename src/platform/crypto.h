// Checking that a file was signed by the holder of a key: the update
// archive against the public key built into the program.
#pragma once

#include <string>
#include <string_view>

namespace platform {

enum class SignatureCheck {
  valid,       // the signature is the key's over exactly the file's bytes
  mismatch,    // well-formed, but not this key's over these bytes
  bad_key,     // the key is not a P-256 public key in PEM
  bad_signature,  // not a DER-encoded ECDSA signature
  unreadable,  // the file could not be opened or read to its end
  failed,      // the system's crypto could not be used
};

// Verifies `der_signature`, a DER-encoded ECDSA P-256 signature over the
// SHA-256 hash of the whole file at `path`, against `public_key_pem`, a
// SubjectPublicKeyInfo in PEM ("-----BEGIN PUBLIC KEY-----", as
// `openssl ec -pubout` writes it) for the curve P-256 and no other.
// `valid` only when every byte of the file was read and hashed and the
// signature verifies; any other answer means the file must not be trusted.
// The file is read in blocks (never held whole in memory) through
// open_for_read, so the sharing rules of files.h apply: a file open for
// writing is `unreadable`. Nothing is changed on disk. Any thread.
// Windows: CNG (SHA-256 and ECDSA P-256 through BCrypt), the key and the
// signature decoded by CryptStringToBinaryA and CryptDecodeObjectEx.
// POSIX: OpenSSL's libcrypto (EVP_DigestVerify).
SignatureCheck verify_file_signature(const std::u16string& path, std::string_view public_key_pem,
                                     std::string_view der_signature);

}  // namespace platform
