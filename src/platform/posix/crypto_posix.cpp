// Signature checks through OpenSSL's libcrypto: the key from PEM, then one
// EVP_DigestVerify over the file's blocks (SHA-256, ECDSA P-256).
#include <openssl/bio.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/crypto.h"
#include "platform/files.h"

namespace platform {
namespace {

// Bytes hashed per read: a 120 MiB archive takes under two thousand reads,
// and only this one block is ever held.
constexpr std::uint32_t kVerifyBlock = 65536;

struct BioFree {
  void operator()(BIO* b) const { BIO_free(b); }
};
struct KeyFree {
  void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct ContextFree {
  void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};

// The key, when the PEM holds an EC public key on P-256 (OpenSSL's name
// for it is prime256v1).
std::unique_ptr<EVP_PKEY, KeyFree> read_p256_key(std::string_view pem) {
  if (pem.empty() || pem.size() > INT_MAX) return nullptr;
  std::unique_ptr<BIO, BioFree> bio(BIO_new_mem_buf(pem.data(), int(pem.size())));
  if (!bio) return nullptr;
  std::unique_ptr<EVP_PKEY, KeyFree> key(PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr));
  if (!key || !EVP_PKEY_is_a(key.get(), "EC")) return nullptr;
  char group[32] = {};
  std::size_t length = 0;
  if (!EVP_PKEY_get_utf8_string_param(key.get(), OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof group, &length) ||
      std::strcmp(group, "prime256v1") != 0) {
    return nullptr;
  }
  return key;
}

}  // namespace

SignatureCheck verify_file_signature(const std::u16string& path, std::string_view public_key_pem,
                                     std::string_view der_signature) {
  const auto key = read_p256_key(public_key_pem);
  if (!key) return SignatureCheck::bad_key;
  // A DER ECDSA signature is a SEQUENCE; anything else cannot be one, and
  // is told apart here only so that the log says what arrived.
  if (der_signature.empty() || der_signature[0] != 0x30) return SignatureCheck::bad_signature;

  std::unique_ptr<EVP_MD_CTX, ContextFree> context(EVP_MD_CTX_new());
  if (!context || EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1)
    return SignatureCheck::failed;

  File file = open_for_read(path);
  if (!file) return SignatureCheck::unreadable;
  std::vector<unsigned char> block(kVerifyBlock);
  for (;;) {
    std::uint32_t got = 0;
    if (!file.read(block.data(), kVerifyBlock, &got)) return SignatureCheck::unreadable;
    if (got == 0) break;
    if (EVP_DigestVerifyUpdate(context.get(), block.data(), got) != 1) return SignatureCheck::failed;
  }
  file.close();

  // 1: verified; 0: a signature that does not verify; below 0: one that
  // could not be parsed, which is just as untrustworthy.
  const int verified = EVP_DigestVerifyFinal(
      context.get(), reinterpret_cast<const unsigned char*>(der_signature.data()), der_signature.size());
  if (verified == 1) return SignatureCheck::valid;
  return verified == 0 ? SignatureCheck::mismatch : SignatureCheck::bad_signature;
}

}  // namespace platform
