// Signature checks through OpenSSL's libcrypto: the key from PEM, then one
// EVP_DigestVerify over the file's blocks (SHA-256, ECDSA P-256). libcrypto
// is loaded on the first check (platform/posix/loaded_library.h): only an
// update download needs it.
#include <openssl/bio.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/opensslv.h>
#include <openssl/pem.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/crypto.h"
#include "platform/files.h"
#include "platform/posix/loaded_library.h"

namespace platform {
namespace {

static_assert(OPENSSL_VERSION_MAJOR == 3, "the library name below is OpenSSL 3's");
constexpr const char* kCryptoLibrary = "libcrypto.so.3";

// The part of libcrypto's interface used here.
struct Crypto {
  decltype(&BIO_new_mem_buf) bio_new_mem_buf;
  decltype(&BIO_free) bio_free;
  decltype(&PEM_read_bio_PUBKEY) pem_read_bio_pubkey;
  decltype(&EVP_PKEY_is_a) pkey_is_a;
  decltype(&EVP_PKEY_get_utf8_string_param) pkey_get_utf8_string_param;
  decltype(&EVP_PKEY_free) pkey_free;
  decltype(&EVP_MD_CTX_new) md_ctx_new;
  decltype(&EVP_MD_CTX_free) md_ctx_free;
  decltype(&EVP_sha256) sha256;
  decltype(&EVP_DigestVerifyInit) digest_verify_init;
  decltype(&EVP_DigestVerifyUpdate) digest_verify_update;
  decltype(&EVP_DigestVerifyFinal) digest_verify_final;
};

// libcrypto, loaded once on first use; nullptr when it is missing.
const Crypto* crypto() {
  static const Crypto* const loaded = []() -> const Crypto* {
    static posix::LoadedLibrary library(kCryptoLibrary);
    static Crypto api{};
    const bool bound = library.bind("BIO_new_mem_buf", api.bio_new_mem_buf) &&
                       library.bind("BIO_free", api.bio_free) &&
                       library.bind("PEM_read_bio_PUBKEY", api.pem_read_bio_pubkey) &&
                       library.bind("EVP_PKEY_is_a", api.pkey_is_a) &&
                       library.bind("EVP_PKEY_get_utf8_string_param", api.pkey_get_utf8_string_param) &&
                       library.bind("EVP_PKEY_free", api.pkey_free) &&
                       library.bind("EVP_MD_CTX_new", api.md_ctx_new) &&
                       library.bind("EVP_MD_CTX_free", api.md_ctx_free) &&
                       library.bind("EVP_sha256", api.sha256) &&
                       library.bind("EVP_DigestVerifyInit", api.digest_verify_init) &&
                       library.bind("EVP_DigestVerifyUpdate", api.digest_verify_update) &&
                       library.bind("EVP_DigestVerifyFinal", api.digest_verify_final);
    return bound ? &api : nullptr;
  }();
  return loaded;
}

// Bytes hashed per read: a 120 MiB archive takes under two thousand reads,
// and only this one block is ever held.
constexpr std::uint32_t kVerifyBlock = 65536;

struct BioFree {
  void operator()(BIO* b) const { crypto()->bio_free(b); }
};
struct KeyFree {
  void operator()(EVP_PKEY* k) const { crypto()->pkey_free(k); }
};
struct ContextFree {
  void operator()(EVP_MD_CTX* c) const { crypto()->md_ctx_free(c); }
};

// The key, when the PEM holds an EC public key on P-256 (OpenSSL's name
// for it is prime256v1).
std::unique_ptr<EVP_PKEY, KeyFree> read_p256_key(std::string_view pem) {
  if (pem.empty() || pem.size() > INT_MAX) return nullptr;
  std::unique_ptr<BIO, BioFree> bio(crypto()->bio_new_mem_buf(pem.data(), int(pem.size())));
  if (!bio) return nullptr;
  std::unique_ptr<EVP_PKEY, KeyFree> key(crypto()->pem_read_bio_pubkey(bio.get(), nullptr, nullptr, nullptr));
  if (!key || !crypto()->pkey_is_a(key.get(), "EC")) return nullptr;
  char group[32] = {};
  std::size_t length = 0;
  if (!crypto()->pkey_get_utf8_string_param(key.get(), OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof group, &length) ||
      std::strcmp(group, "prime256v1") != 0) {
    return nullptr;
  }
  return key;
}

}  // namespace

SignatureCheck verify_file_signature(const std::u16string& path, std::string_view public_key_pem,
                                     std::string_view der_signature) {
  if (!crypto()) return SignatureCheck::failed;
  const auto key = read_p256_key(public_key_pem);
  if (!key) return SignatureCheck::bad_key;
  // A DER ECDSA signature is a SEQUENCE; anything else cannot be one, and
  // is told apart here only so that the log says what arrived.
  if (der_signature.empty() || der_signature[0] != 0x30) return SignatureCheck::bad_signature;

  std::unique_ptr<EVP_MD_CTX, ContextFree> context(crypto()->md_ctx_new());
  if (!context || crypto()->digest_verify_init(context.get(), nullptr, crypto()->sha256(), nullptr, key.get()) != 1)
    return SignatureCheck::failed;

  File file = open_for_read(path);
  if (!file) return SignatureCheck::unreadable;
  std::vector<unsigned char> block(kVerifyBlock);
  for (;;) {
    std::uint32_t got = 0;
    if (!file.read(block.data(), kVerifyBlock, &got)) return SignatureCheck::unreadable;
    if (got == 0) break;
    if (crypto()->digest_verify_update(context.get(), block.data(), got) != 1) return SignatureCheck::failed;
  }
  file.close();

  // 1: verified; 0: a signature that does not verify; below 0: one that
  // could not be parsed, which is just as untrustworthy.
  const int verified = crypto()->digest_verify_final(
      context.get(), reinterpret_cast<const unsigned char*>(der_signature.data()), der_signature.size());
  if (verified == 1) return SignatureCheck::valid;
  return verified == 0 ? SignatureCheck::mismatch : SignatureCheck::bad_signature;
}

}  // namespace platform
